#include "gui/AgentList.h"

#include <cstddef>

namespace {

// Every version crossed with every platform, in that order, cut to count entries; the tables are
// chosen so that the product is at least count, which keeps the entries of a group distinct.
std::vector<std::string> combine(const std::string& before,
                                 const std::vector<std::string>& versions,
                                 const std::string& between,
                                 const std::vector<std::string>& platforms,
                                 const std::string& after, size_t count) {
  std::vector<std::string> out;
  for (const auto& v : versions)
    for (const auto& p : platforms) {
      if (out.size() == count) return out;
      out.push_back(before + v + between + p + after);
    }
  return out;
}

// Internet Explorer style: "Mozilla/<base> (compatible; MSIE <version>; <platform>)".
std::vector<std::string> msie(const std::string& base, const std::vector<std::string>& versions,
                              const std::vector<std::string>& platforms, size_t count) {
  return combine("Mozilla/" + base + " (compatible; MSIE ", versions, "; ", platforms, ")", count);
}

// Navigator style: "Mozilla/<version> (<platform>)".
std::vector<std::string> navigator(const std::vector<std::string>& versions,
                                   const std::vector<std::string>& platforms, size_t count) {
  return combine("Mozilla/", versions, " (", platforms, ")", count);
}

std::vector<TAgentGroup> build() {
  const std::vector<std::string> winold = {"Windows NT",    "Windows 95", "Windows 3.1",
                                           "Mac_PowerPC",   "Mac_68000",  "Windows NT; AK",
                                           "Windows 95; AK"};
  const std::vector<std::string> ns3 = {"Win95; I",
                                        "WinNT; I",
                                        "Win16; I",
                                        "Macintosh; I; PPC",
                                        "Macintosh; I; 68K",
                                        "X11; I; Linux 2.0.0 i586",
                                        "X11; I; SunOS 5.5 sun4m",
                                        "X11; I; IRIX 6.2 IP22",
                                        "X11; I; HP-UX B.10.20 9000/712",
                                        "X11; I; AIX 2",
                                        "OS/2; I",
                                        "Win95; U",
                                        "WinNT; U",
                                        "Macintosh; U; PPC"};
  const std::vector<std::string> ns2 = {"Win95; I",
                                        "WinNT; I",
                                        "Win16; I",
                                        "Macintosh; I; PPC",
                                        "X11; I; Linux 1.2.13 i486",
                                        "X11; I; SunOS 5.4 sun4m",
                                        "X11; I; OSF1 V3.2 alpha"};
  return {
      {"* IE 1.5 *", msie("1.22", {"1.5"}, {"Windows NT", "Windows 95"}, 2)},
      {"* IE 2.0 *", msie("1.22", {"2.0", "2.0B", "2.01"}, winold, 17)},
      {"* IE 3.0 *", msie("2.0", {"3.0", "3.01", "3.02", "3.0A", "3.0B", "3.03"}, winold, 37)},
      {"* IE 4.0 *", msie("4.0", {"4.0", "4.01", "4.0b1", "4.0b2"},
                          {"Windows NT", "Windows 95", "Windows 98"}, 12)},
      {"* IE 5.0 *",
       msie("4.0", {"5.0"}, {"Windows 95", "Windows 98", "Windows NT", "Windows NT 5.0"}, 4)},
      {"* Microsoft Pocket Internet Explorer/0.6 *", {"Microsoft Pocket Internet Explorer/0.6"}},
      {"* Netscape 4.00 *",
       navigator({"4.0", "4.0b2"}, {"WinNT; I", "Win95; I", "Macintosh; I; PPC"}, 5)},
      {"* Netscape 3.01 *", navigator({"3.01", "3.01Gold"}, ns3, 25)},
      {"* Netscape 3.0 \xC3\x9C",
       navigator({"3.0", "3.0Gold", "3.0b5", "3.0b6", "3.0b7", "3.0b8", "3.0C"}, ns3, 98)},
      {"* Netscape 2.0 *",
       navigator({"2.0", "2.01", "2.02", "2.0b4", "2.0Gold", "2.01Gold", "2.02E"}, ns2, 49)},
      {"* Oracle 1.5 *", {"Mozilla/2.01 (Compatible) Oracle(tm) PowerBrowser(tm)/1.0a"}},
  };
}

}  // namespace

const std::vector<TAgentGroup>& agentgroups() {
  static const std::vector<TAgentGroup> groups = build();
  return groups;
}

std::vector<std::string> agentlines() {
  std::vector<std::string> lines;
  for (const auto& g : agentgroups()) {
    if (!lines.empty()) lines.emplace_back();
    lines.push_back(g.heading);
    lines.insert(lines.end(), g.agents.begin(), g.agents.end());
  }
  return lines;
}

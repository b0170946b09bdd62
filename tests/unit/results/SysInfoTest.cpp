// Client-system texts: the parsers on sample file contents, and the live readers' shapes.

#include "results/SysInfo.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

const char* debian =
    "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
    "NAME=\"Debian GNU/Linux\"\n"
    "VERSION_ID=\"12\"\n"
    "VERSION=\"12 (bookworm)\"\n"
    "ID=debian\n";
const char* ubuntu =
    "NAME=\"Ubuntu\"\nVERSION=\"22.04.4 LTS (Jammy Jellyfish)\"\nID=ubuntu\n"
    "PRETTY_NAME=\"Ubuntu 22.04.4 LTS\"\nVERSION_ID=\"22.04\"\n";

TEST(SysInfo, OsTextFromDistributionAndKernelRelease) {
  EXPECT_EQ(ostextfrom(debian, "Linux", "6.1.0-18-amd64"),
            "Debian GNU/Linux 12 (bookworm) V6.1 (Build 0) 18-amd64");
  EXPECT_EQ(ostextfrom(ubuntu, "Linux", "5.15.0-105-generic"),
            "Ubuntu 22.04.4 LTS V5.15 (Build 0) 105-generic");
  EXPECT_EQ(ostextfrom(debian, "Linux", "6.18.44-fc-v1272"),
            "Debian GNU/Linux 12 (bookworm) V6.18 (Build 44) fc-v1272");
  // Nothing after the numbers leaves the trailing blank, as an empty extra text does.
  EXPECT_EQ(ostextfrom(debian, "Linux", "6.8.12"),
            "Debian GNU/Linux 12 (bookworm) V6.8 (Build 12) ");
  EXPECT_EQ(ostextfrom(debian, "Linux", "6"), "Debian GNU/Linux 12 (bookworm) V6.0 (Build 0) ");
}

TEST(SysInfo, OsTextWithMissingOrOddSources) {
  // Without PRETTY_NAME: NAME and VERSION; without os-release: the kernel's name.
  EXPECT_EQ(ostextfrom("NAME=Fedora\nVERSION='39 (Workstation)'\n", "Linux", "6.5.6-300.fc39"),
            "Fedora 39 (Workstation) V6.5 (Build 6) 300.fc39");
  EXPECT_EQ(ostextfrom("", "Linux", "4.19.0"), "Linux V4.19 (Build 0) ");
  EXPECT_EQ(ostextfrom("", "", ""), "Linux V0.0 (Build 0) ");
  // A release that does not start with numbers is all extra text; overflowing numbers are 0.
  EXPECT_EQ(ostextfrom("", "Linux", "custom-kernel"), "Linux V0.0 (Build 0) custom-kernel");
  EXPECT_EQ(ostextfrom("", "Linux", "99999999999999999999999.2.3"), "Linux V0.2 (Build 3) ");
  EXPECT_EQ(ostextfrom("", "Linux", "5..1"), "Linux V5.0 (Build 0) .1");
  // The extra text is cut at 128 characters.
  std::string text = ostextfrom("", "Linux", "1.2.3-" + std::string(300, 'x'));
  EXPECT_EQ(text, "Linux V1.2 (Build 3) " + std::string(128, 'x'));
}

TEST(SysInfo, OsReleaseValues) {
  const char* text =
      "# comment\n"
      "  NAME = \"First\"\n"
      "PRETTY_NAME=\"Say \\\"hi\\\" \\\\ there\"\n"
      "SINGLE='a \"b\"'\n"
      "BARE=plain words \r\n"
      "NAME=\"Second\"\n"
      "garbage line without equals\n"
      "UNTERMINATED=\"open";
  EXPECT_EQ(osreleasevalue(text, "NAME"), "Second");  // the last assignment wins
  EXPECT_EQ(osreleasevalue(text, "PRETTY_NAME"), "Say \"hi\" \\ there");
  EXPECT_EQ(osreleasevalue(text, "SINGLE"), "a \"b\"");
  EXPECT_EQ(osreleasevalue(text, "BARE"), "plain words");
  EXPECT_EQ(osreleasevalue(text, "UNTERMINATED"), "open");
  EXPECT_EQ(osreleasevalue(text, "MISSING"), "");
  EXPECT_EQ(osreleasevalue(text, "NAM"), "");
  // A name never breaks the header line.
  EXPECT_EQ(osname("PRETTY_NAME=\"Two\tparts\\\x01\"\n", "Linux"), "Two parts");
}

const char* epyc =
    "processor\t: 0\nvendor_id\t: AuthenticAMD\ncpu family\t: 25\nmodel\t\t: 1\n"
    "model name\t: AMD EPYC\nstepping\t: 1\ncpu MHz\t\t: 2445.404\n\n"
    "processor\t: 1\nvendor_id\t: AuthenticAMD\ncpu family\t: 26\nstepping\t: 9\n"
    "cpu MHz\t\t: 3999.000\n\n";

TEST(SysInfo, CpuTextByLevelAndType) {
  EXPECT_EQ(cputextfrom(epyc, "x86_64"), "Proc. 8664/25 (Rev. 1)");  // first processor only
  EXPECT_EQ(cputextfrom("cpu family : 6\nstepping : 10\n", "x86_64"), "Proc. Lev. 686 (Rev. 10)");
  EXPECT_EQ(cputextfrom("cpu family : 3\nstepping : 0\n", "i386"), "Proc. Lev. 386 (Rev. 0)");
  EXPECT_EQ(cputextfrom("cpu family : 15\nstepping : 3\n", "i586"), "Proc. Type 586 (Rev. 3)");
  EXPECT_EQ(cputextfrom("cpu family : 15\nstepping : 3\n", "i686"), "Proc. Type 686 (Rev. 3)");
  EXPECT_EQ(cputextfrom("processor : 0\nBogoMIPS : 50.00\nCPU architecture: 8\n"
                        "CPU variant : 0x3\nCPU revision : 4\n",
                        "aarch64"),
            "Proc. aarch64/8 (Rev. 4)");
}

TEST(SysInfo, CpuTextWithMissingOrGarbageFields) {
  EXPECT_EQ(cputextfrom("", "x86_64"), "Proc. 8664/0 (Rev. 0)");
  EXPECT_EQ(cputextfrom("", ""), "Proc. 0/0 (Rev. 0)");
  EXPECT_EQ(cputextfrom("cpu family : six\nstepping : unknown\n", "x86_64"),
            "Proc. 8664/0 (Rev. 0)");
  // The revision is a 16-bit field.
  EXPECT_EQ(cputextfrom("cpu family : 6\nstepping : 65537\n", "x86_64"), "Proc. Lev. 686 (Rev. 1)");
  // Leading blank lines do not end the first block; a field after it is not read.
  EXPECT_EQ(cputextfrom("\n\ncpu family : 5\n\nstepping : 7\n", "i586"), "Proc. Lev. 586 (Rev. 0)");
}

TEST(SysInfo, CpuMhzFromCpuinfoOrMaxFrequency) {
  EXPECT_EQ(cpumhzfrom(epyc, ""), 2445);  // processor 0 only
  EXPECT_EQ(cpumhzfrom("cpu MHz : 2999.6\n", "1000000"), 3000);
  EXPECT_EQ(cpumhzfrom("processor : 0\n", "3600000\n"), 3600);
  EXPECT_EQ(cpumhzfrom("cpu MHz : 0.000\n", "2400500"), 2401);
  EXPECT_EQ(cpumhzfrom("cpu MHz : fast\n", "garbage"), 0);
  EXPECT_EQ(cpumhzfrom("cpu MHz : -100\n", "0"), 0);
  EXPECT_EQ(cpumhzfrom("", ""), 0);
}

TEST(SysInfo, MemTextInDecimalMegabytes) {
  const char* meminfo =
      "MemTotal:       24683784 kB\nMemFree:        24501400 kB\n"
      "MemAvailable:   24429236 kB\nSwapTotal:       2097148 kB\nSwapFree:        2097148 kB\n"
      "HugePages_Total:       0\n";
  EXPECT_EQ(memtextfrom(meminfo, 123456789012),
            "25015 MB available RAM of 25276 MB total physical RAM, 2147 MB available pagefile, "
            "123456 MB free disk space on /");
  // Truncated, not rounded: 999999 bytes are 0 MB.
  EXPECT_EQ(memtextfrom("MemTotal: 976 kB\nMemAvailable: 977 kB\n", 1999999),
            "1 MB available RAM of 0 MB total physical RAM, 0 MB available pagefile, "
            "1 MB free disk space on /");
}

TEST(SysInfo, MemTextWithMissingFieldsOrFailedDiskQuery) {
  // An old kernel without MemAvailable: free memory stands in.
  EXPECT_EQ(memtextfrom("MemTotal: 2000000 kB\nMemFree: 1000000 kB\n", -1),
            "1024 MB available RAM of 2048 MB total physical RAM, 0 MB available pagefile, "
            "0 MB free disk space on /");
  EXPECT_EQ(memtextfrom("garbage\n:::\nMemTotal: lots kB\n", -1),
            "0 MB available RAM of 0 MB total physical RAM, 0 MB available pagefile, "
            "0 MB free disk space on /");
}

TEST(SysInfo, LiveReadersGiveTheTextShapes) {
  EXPECT_TRUE(std::regex_match(ostext(), std::regex(R"(.+ V\d+\.\d+ \(Build \d+\) [^\r\n]*)")))
      << ostext();
  EXPECT_TRUE(std::regex_match(
      cputext(), std::regex(R"(Proc\. (Lev\. [3-6]86|Type [3-6]86|\S+/\d+) \(Rev\. \d+\))")))
      << cputext();
  EXPECT_GE(cpumhz(), 0);
  std::string mem = memtext();
  std::smatch m;
  ASSERT_TRUE(std::regex_match(
      mem, m,
      std::regex(R"((\d+) MB available RAM of (\d+) MB total physical RAM, \d+ MB available )"
                 R"(pagefile, \d+ MB free disk space on /)")))
      << mem;
  EXPECT_GT(std::stoull(m[2]), 0u);
  EXPECT_LE(std::stoull(m[1]), std::stoull(m[2]));

  std::vector<std::string> lines = clientsystemlines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(
      std::regex_match(lines[0], std::regex(R"(Client system: .+, CPU Proc\. .+ at \d+ MHz, )")))
      << lines[0];
  EXPECT_EQ(lines[1].rfind("Client system: ", 0), 0u);
  EXPECT_NE(lines[1].find(" MB free disk space on /"), std::string::npos);
}

}  // namespace

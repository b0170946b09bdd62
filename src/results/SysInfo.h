#pragma once
// Texts describing the client machine, written at the head of every test: operating system,
// processor, processor clock, memory and free disk space. Linux sources stand in for the facts
// in the same text shapes; the root file system stands where the system drive stood.
//
// Each reader below is a thin shell over a pure parser that takes the file contents or uname
// fields, so the rules can be tested with sample texts. No text ever contains a line break.

#include <cstdint>
#include <string>
#include <vector>

// name + " V" + major + "." + minor + " (Build " + build + ") " + extra, for example
// "Debian GNU/Linux 12 (bookworm) V6.1 (Build 0) 18-amd64". Reads /etc/os-release (or
// /usr/lib/os-release) and uname.
std::string ostext();
// "Proc. " + kind + " (Rev. " + stepping + ")", for example "Proc. 8664/25 (Rev. 1)". Reads
// /proc/cpuinfo and uname.
std::string cputext();
// Clock of processor 0 in MHz from /proc/cpuinfo ("cpu MHz") or cpufreq's cpuinfo_max_freq;
// 0 when neither gives a positive value.
int64_t cpumhz();
// A + " MB available RAM of " + T + " MB total physical RAM, " + P + " MB available pagefile, "
// + D + " MB free disk space on /", decimal megabytes truncated. Reads /proc/meminfo and
// statvfs("/").
std::string memtext();
// The two "Client system: " lines of a test header: OS, CPU and clock (ending in "MHz, "),
// then memory and disk.
std::vector<std::string> clientsystemlines();

// --- Pure parsers behind the readers -------------------------------------------------------

// The value of key in os-release contents (KEY=value lines, value optionally quoted with " or
// ', backslash escapes inside double quotes); the last assignment wins; "" when absent.
std::string osreleasevalue(const std::string& contents, const std::string& key);

// The OS name: PRETTY_NAME, else NAME with VERSION, else sysname, else "Linux".
std::string osname(const std::string& osrelease, const std::string& sysname);

// ostext from its sources. major, minor and build are the first three numbers of the kernel
// release ("6.1.0-18-amd64" gives 6, 1, 0; missing numbers are 0); extra is the rest of the
// release without its leading separator ("18-amd64"), at most 128 characters.
std::string ostextfrom(const std::string& osrelease, const std::string& sysname,
                       const std::string& release);

// cputext from the contents of /proc/cpuinfo (first processor only) and uname's machine.
// level is "cpu family" (x86) or "CPU architecture" (ARM); type is 8664 on x86_64, 386..686
// on i386..i686, otherwise the machine name. Kind: level 3..6 gives "Lev. 386".."Lev. 686";
// else a type of 386..686 gives "Type 386".."Type 686"; else type + "/" + level ("8664/25").
// The revision is "stepping" (x86) or "CPU revision" (ARM), 16-bit decimal, 0 when absent.
std::string cputextfrom(const std::string& cpuinfo, const std::string& machine);

// cpumhz from processor 0's "cpu MHz" in cpuinfo (rounded to a whole MHz), else from the
// contents of cpuinfo_max_freq (kHz); 0 when neither is positive.
int64_t cpumhzfrom(const std::string& cpuinfo, const std::string& maxfreqkhz);

// memtext from /proc/meminfo contents and the free bytes of the root file system (-1 when the
// query failed, which shows as 0). A is MemAvailable (MemFree on kernels without it), T is
// MemTotal, P is SwapFree; missing fields count 0.
std::string memtextfrom(const std::string& meminfo, int64_t freediskbytes);

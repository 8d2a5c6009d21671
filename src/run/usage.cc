#include "run/usage.h"

#include "core/state.h"
#include "run/usage_internal.h"

namespace run {

const char* const kVersionNumber = "7.38";
const char* const kVersionDate = "10-2012";

namespace {

// The lines after the "Kestrel: Version" line. Some end in a blank on purpose.
const char* const kUsageLines[] = {
    "   - kestrel.exe is a tool for capturing performance",
    "     and configuration statistics.",
    "   - Output from kestrel is sent to standard out and",
    "     is typically captured in an output file for",
    "     later analysis.",
    "   - kestrel.exe is capable of capturing info from one Windows host and",
    "     multiple Corvex storage controllers simultaneously.",
    "   - For controller data capture, the user must have RSH or",
    "     SSH privileges to the controller. Unless instructed otherwise,",
    "     kestrel will use 'root' as the default username to communicate",
    "     remotely with storage controllers.",
    "",
    "Usage: (basic options list)",
    " kestrel [-f controllername] [-t time] > kestrel.out",
    "   where:",
    "   -f controllername - host name or IP address of target controller",
    "   -t time - collect performance data for 'time' minutes",
    "",
    " Simple Example:",
    "   Capture data on local host and one controller for 5 minutes:",
    "     kestrel -f controller1 -t 5 > kestrel.out",
    "   Capture data on multiple hosts and controllers for 10 minutes:",
    "     kestrel -f controller1,controller2 -t 10 > kestrel.out",
    "   Capture data for five 1 minute iterations, with 10 minutes between",
    "   successive iterations:",
    "     kestrel -f controller1 -t 1 -i 5,10 > kestrel.out",
    "",
    "Usage: (more complete options list)",
    " kestrel",
    "         [-f controllername[,controllername1,controllername2,...]]",
    "         [-t time] (sample time per iteration, default 2)",
    "         [-i n[,m]] (repeat n times with m minutes between samples, ",
    "                     defaults: n=1,m=0)",
    "         [-I] (force kestrel to execute all iterations)",
    "",
    "         [-l login[:password]] (rsh/ssh login; this password is never sent)",
    "",
    "         [-F] (do not capture information from local host)",
    "         [-V] (do not capture vzone data)",
    "         [-p] (capture performance data only, no config info",
    "         [-c] (capture config info only, no performance data",
    "         [-L] (capture logs - beware verbose output",
    "         [-E cmd[,cmd2,cmd3]... (exclude commands)",
    "         [-P domain1[,domain2,domain3...] (capture profiles,",
    "             use \"-P flat\" to capture complete profile)",
    "",
    "         [-v] (print version info only)",
    "         [-q] (quiet mode - suppress all console input)",
    "         [-x] (print what commands will be issued without actually",
    "               issuing them",
    "         [-d] (debug mode - beware verbose output)",
    "",
    "         [-m msinfo_path] (path to msinfo32.exe)",
    "",
    "         [-S pw:<pw>|kf:<kf>] (use ssh instead of rsh)",
    "",
    "         [-k] (disable collection of \"stutter\" statit; i.e.,",
    "               collect 1 statit report that covers the entire",
    "               iteration)",
    "         [-K] (collect only \"stutter\" statit reports over",
    "               the entire iteration)",
    "         [-T default | sk_mod,level[,sk_mod2,level,...]] (collect sktrace)",
    "         [-B sk_buffer_size] (specify sktrace buffer size)",
    "         [-C seconds] (the number of seconds to wait on command processes-",
    "                       default is 70 seconds)",
    "         [-w minutes] (total number of minutes to wait for kestrel",
    "                       execution to complete. Default will be 5 minutes)",
    "         [-g] (force kestrel to use ssh.exe instead of plink.exe)",
    "         [-y] (force kestrel to execute only critical set of commands)",
    "Notes:",
    " -P saves profiling data in a subdirectory 'gmon' of the current working",
    "    directory and deletes any existing gmon files on the controller",
    " -E exludes all foreground commands that have at least the cmd as a",
    "    substring; E.g.",
    "      -E snap,vol       - excludes all 'snap*' and 'vol*' commands",
    "      -E \"snap list -v\" - excludes only the command 'snap list -v'",
    " -S requires the plink ssh client to be available in the working path",
    "    To authenticate with a password, use the syntax -S pw:<password>",
    "    For public key authentication, use the syntax -S kf:<keyfile>,",
    "    where keyfile is a Putty private keyfile created with puttygen.",
    "    plink and puttygen are available for free download at",
    "    https://www.chiark.greenend.org.uk/~sgtatham/putty/latest.html",
    "    Additionally, the -l option can be used to specify usernames for",
    "    controller login. E.g.,",
    "      kestrel.exe -S -l user",
    " -T used to toggle sktrace collection and specify sk modules and the",
    "    levels at which trace data should be collected for those modules.",
    "    Some valid sk modules include SK, FSYS, DISK, and SCSITARGET. For",
    "    default values of 'SK 7 FSYS 4', specify '-T default'. sktrace data",
    "    will be copied off of the controller(s) and into the current working",
    "    directory from where kestrel was invoked.",
    " -B used to manually set the sktrace buffer size. By default, kestrel",
    "    will use a default value of '40m' (40MB). Please note that it is",
    "    required that the units be specified with the size in the format:",
    "    k (KB), m (MB), or g (GB). This value should only be changed if",
    "    specifically advised by global support.",
    " -g supports only public key authentication. The key must be provided with",
    "    \"-S\" option using the syntax -S kf:<keyfile>, where keyfile is the",
    "    openSSH private keyfile generated by ssh-keygen executable.",
    " -y option must be used only in critical situations when filer does not",
    "    respond. If this option is enabled, host data will not be collected",
    "    It is advised to use this option with default iteration time",
    "    and no profile and sktrace collection should be done.",
    " Early termination of execution: as of v7.00 kestrel will terminate",
    "   iterations early if a calculated max runtime is met or exceeded.",
    "   If it is required that kestrel must execute all iterations regardless",
    "   of the total runtime, please use the '-I' option.",
};

std::string build_usage_text() {
  std::string text = std::string("Kestrel: Version ") + kVersionNumber + " " + kVersionDate + "\n";
  for (const char* line : kUsageLines) {
    text += line;
    text += '\n';
  }
  return text;
}

}  // namespace

const std::string& usage_text() {
  static const std::string text = build_usage_text();
  return text;
}

void write_usage(std::FILE* out) {
  std::fputs(usage_text().c_str(), out);
}

void write_version_line(std::FILE* err) {
  if (!core::state().options.quiet)
    std::fprintf(err, "Kestrel v%s (%s)\n", kVersionNumber, kVersionDate);
}

void print_version_line() {
  write_version_line(stderr);
}

void print_usage() {
  write_usage(stdout);
}

}  // namespace run

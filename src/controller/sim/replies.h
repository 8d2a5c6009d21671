// The replies of the simulated controller, one function per command family.
// Each gets the words of one command (words[0] is the command itself).
#pragma once

#include <cstdint>
#include <string>

#include "controller/sim/session.h"

namespace ctlsim {

// Discovery: what kestrel reads itself.
void reply_version(Session& session, const Words& words);
void reply_help(Session& session, const Words& words);
void reply_license(Session& session, const Words& words);
void reply_sysconfig(Session& session, const Words& words);
void reply_registry(Session& session, const Words& words);
void reply_vzone(Session& session, const Words& words);
void reply_vif(Session& session, const Words& words);

// The file tree.
void reply_ls(Session& session, const Words& words);
void reply_rdfile(Session& session, const Words& words);
void reply_rm(Session& session, const Words& words);

// Counters kept between invocations.
void reply_stats(Session& session, const Words& words);
void reply_statit(Session& session, const Words& words);
void reply_mem_stats(Session& session, const Words& words);

// Samplers that pace their rows in real time.
void reply_sysstat(Session& session, const Words& words);
void reply_lun(Session& session, const Words& words);

// Profiles, traces and disks.
void reply_prof(Session& session, const Words& words);
void reply_trace(Session& session, const Words& words);
void reply_disk_list(Session& session, const Words& words);

// Everything else: a few plausible lines.
void reply_generic(Session& session, const Words& words);

// A deterministic counter value: `rate_seed` picks a rate per second, scaled
// by `seconds`.
long long counter_value(const std::string& rate_seed, long long seconds);

// A percentage (0 to 99) picked by `seed`.
int percent_value(const std::string& seed);

// "Mon Dec  8 20:48:01 GMT 2025" for a time in seconds since the epoch.
std::string gmt_text(std::int64_t epoch);

}  // namespace ctlsim

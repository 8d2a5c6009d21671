// Plausible answers for every command the simulator has no model of, and
// the counter arithmetic the replies share.
#include "controller/sim/output.h"
#include "controller/sim/replies.h"
#include "controller/sim/text.h"
#include "platform/platform.h"

namespace ctlsim {

long long counter_value(const std::string& rate_seed, long long seconds) {
  long long rate = 1 + static_cast<long long>(stable_hash(rate_seed) % 5000ull);
  return rate * seconds;
}

int percent_value(const std::string& seed) {
  return static_cast<int>(stable_hash(seed + "%") % 100ull);
}

std::string gmt_text(std::int64_t epoch) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm time = platform::utc_time(epoch);
  return format("%s %s %2d %02d:%02d:%02d GMT %d", kDays[time.tm_wday % 7],
                kMonths[time.tm_mon % 12], time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec,
                time.tm_year + 1900);
}

void reply_generic(Session& session, const Words& words) {
  const Model& model = *session.model;
  const std::string& verb = words[0];
  std::int64_t now = platform::now_epoch_seconds();
  if (verb == "hostname") {
    out(model.name + "\n");
  } else if (verb == "date") {
    out(gmt_text(now) + "\n");
  } else if (verb == "uptime") {
    out(format("  %s up 7 days, 11:00 %lld NFS ops, %lld CIFS ops, 0 HTTP ops\n",
               gmt_text(now).c_str(), counter_value(model.name + "nfs", 640000),
               counter_value(model.name + "cifs", 640000)));
  } else if (verb == "df") {
    out("Filesystem               kbytes       used      avail capacity  Mounted on\n");
    for (const std::string& volume : model.volumes) {
      long long size = counter_value(model.name + volume, 100000);
      int used = percent_value(model.name + volume);
      out(format("/vol/%-19s %10lld %10lld %10lld %7d%%  /vol/%s/\n", (volume + "/").c_str(), size,
                 size * used / 100, size - size * used / 100, used, volume.c_str()));
    }
  } else {
    std::string command = join(words, " ");
    out(format("%s (%s):\n", command.c_str(), model.name.c_str()));
    for (int row = 1; row <= 3; ++row) {
      std::string seed = model.name + "/" + command + "/" + std::to_string(row);
      out(format("    item_%d %12lld\n", row, counter_value(seed, 3600)));
    }
  }
}

}  // namespace ctlsim

// "license" and "sysconfig" replies: service counters and processor class.
#include "controller/licenses.h"
#include "core/state.h"
#include "fuzz_input.h"

namespace {

bool any_main_service(const core::ServiceFlags& flags) {
  return flags.svc_nfs + flags.svc_cifs + flags.svc_fcp + flags.svc_iscsi != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  core::reset_state();
  const std::vector<std::string> reply = fuzz::lines(data, size);
  // A line counts at most once per service word; two words share a counter.
  const int most = 2 * static_cast<int>(reply.size());

  for (bool nfs_restricted : {false, true}) {
    core::ServiceFlags flags = controller::count_licenses(reply, nfs_restricted);
    for (int counter :
         {flags.svc_nfs, flags.svc_cifs, flags.svc_fcp, flags.svc_dafs, flags.svc_iscsi,
          flags.svc_replisync, flags.svc_zonepack, flags.svc_backstow, flags.svc_farstash,
          flags.svc_dedupe, flags.svc_cluster}) {
      fuzz::require(counter >= 0 && counter <= most, "counters count reply lines");
    }
    if (nfs_restricted) {
      fuzz::require(flags.svc_cifs + flags.svc_fcp + flags.svc_cluster == 0,
                    "-M NFS counts nothing but NFS");
      fuzz::require(flags.nfs_only == (flags.svc_nfs != 0 ? 1 : 0), "nfs_only follows NFS");
    }
    bool had_main = any_main_service(flags);
    fuzz::require(controller::assume_main_services(flags) == !had_main,
                  "services are assumed only when none was found");
    fuzz::require(any_main_service(flags), "a main service after the assumption");
  }

  int cpu_class = controller::cpu_class_from_sysconfig(reply);
  fuzz::require(cpu_class == 1 || cpu_class == 2, "processor class 1 or 2");
  return 0;
}

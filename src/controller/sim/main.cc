// ctlsim: the controller simulator. Started as rsh.exe, plink.exe or
// ssh.exe it is that client talking to a simulated controller; under any
// other name it offers its own small admin command line.
#include <string>
#include <vector>

#include "controller/sim/admin.h"
#include "controller/sim/client.h"

int main(int argc, char** argv) {
  std::string argv0 = argc > 0 ? argv[0] : "ctlsim";
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  ctlsim::Client client = ctlsim::client_from_program(argv0);
  if (client == ctlsim::Client::kNone) return ctlsim::run_admin(argv0, args);
  return ctlsim::run_client(client, args);
}

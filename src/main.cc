#include "run/driver.h"

int main(int argc, char** argv) {
  return run::run_kestrel(argc, argv);
}

# The release package, made by CPack (scripts/package): the program, the
# report tool, README.txt (the user part of README.md), the licence of every
# vendored component and SHA256SUMS of them all, in one archive named
# kestrel-VERSION-win64.zip (Windows build) or
# kestrel-VERSION-linux-ARCH.tar.gz (native Linux build).

# Packaging installs only what is already built: scripts/package builds the
# two programs it needs, so cpack never builds the tests or benchmarks.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS kestrel kestrel-report RUNTIME DESTINATION .)

# README.txt, the licences and SHA256SUMS are written at install time, after
# the programs, so the sums cover the files as packaged (stripped programs).
file(GLOB package_licences ${CMAKE_SOURCE_DIR}/third_party/*/LICENSE*)
install(CODE "
  set(KESTREL_SOURCE \"${CMAKE_SOURCE_DIR}\")
  set(KESTREL_LICENCES \"${package_licences}\")
  set(KESTREL_CRLF ${WIN32})
  include(\"${CMAKE_SOURCE_DIR}/cmake/package_texts.cmake\")
")

if(WIN32)
  set(package_system win64)
  set(CPACK_GENERATOR ZIP)
else()
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" package_system)
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_PACKAGE_NAME kestrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME kestrel-${PROJECT_VERSION}-${package_system})
set(CPACK_STRIP_FILES ON)
include(CPack)

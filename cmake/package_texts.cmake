# Runs at install time (cmake --install, cpack): writes README.txt, the
# licences of the vendored components and SHA256SUMS into the install folder.
# Set by the caller: KESTREL_SOURCE, KESTREL_LICENCES (a list of files named
# third_party/COMPONENT/LICENSE...), KESTREL_CRLF (Windows line ends).

cmake_policy(VERSION 3.25)

# Sections of README.md that are about developing kestrel, not using it.
set(developer_sections
  "Set-up: two commands"
  "Building"
  "Simulated controllers and the test kit"
  "Layout")

set(dest "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

# write_text NAME TEXT: one text file of the package, with Windows line ends
# in the Windows package.
function(write_text name text)
  if(KESTREL_CRLF)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
  endif()
  file(WRITE "${dest}/${name}" "${text}")
  set(written ${written} "${dest}/${name}" PARENT_SCOPE)
endfunction()
set(written "")

# README.txt: the part before the first "## " heading and every section
# that is not in developer_sections. A developer section that is no longer
# in README.md stops the packaging, so renaming one cannot leak it.
file(READ "${KESTREL_SOURCE}/README.md" rest)
set(readme "")
set(keep TRUE)
set(seen "")
while(TRUE)
  string(FIND "${rest}" "\n## " at)
  if(at EQUAL -1)
    if(keep)
      string(APPEND readme "${rest}")
    endif()
    break()
  endif()
  math(EXPR cut "${at} + 1")
  string(SUBSTRING "${rest}" 0 ${cut} chunk)
  if(keep)
    string(APPEND readme "${chunk}")
  endif()
  string(SUBSTRING "${rest}" ${cut} -1 rest)
  string(FIND "${rest}" "\n" eol)
  math(EXPR length "${eol} - 3")
  string(SUBSTRING "${rest}" 3 ${length} heading)
  if(heading IN_LIST developer_sections)
    set(keep FALSE)
    list(APPEND seen "${heading}")
  else()
    set(keep TRUE)
  endif()
endwhile()
foreach(section IN LISTS developer_sections)
  if(NOT section IN_LIST seen)
    message(FATAL_ERROR "README.md has no section \"## ${section}\"; update cmake/package_texts.cmake")
  endif()
endforeach()
write_text(README.txt "${readme}")

# LICENSE-COMPONENT.txt for each vendored component.
foreach(licence IN LISTS KESTREL_LICENCES)
  get_filename_component(folder "${licence}" DIRECTORY)
  get_filename_component(component "${folder}" NAME)
  file(READ "${licence}" text)
  write_text("LICENSE-${component}.txt" "${text}")
endforeach()

# SHA256SUMS of every file installed so far (the programs and the texts
# above), by name relative to the install folder, in the format of sha256sum.
set(sums "")
set(names "")
foreach(path IN LISTS CMAKE_INSTALL_MANIFEST_FILES written)
  file(RELATIVE_PATH name "${dest}" "${path}")
  list(APPEND names "${name}")
endforeach()
list(REMOVE_DUPLICATES names)
list(SORT names)
foreach(name IN LISTS names)
  file(SHA256 "${dest}/${name}" hash)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE "${dest}/SHA256SUMS" "${sums}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES ${written} "${dest}/SHA256SUMS")

# Builds the Debian package from a build folder whose quro-pack, stub and
# documents are built (the deb target runs it after building them):
#   cmake -DBUILD=build [-DOUTPUT=folder] -P cmake/deb.cmake
# writes OUTPUT/quro-pack_VERSION_ARCH.deb (OUTPUT: build/package by default).
# Nothing in the package depends on the machine beyond its compilers: the
# owner is root, every file is 0644 or 0755 and every folder 0755 whatever
# the umask, and every time is SOURCE_DATE_EPOCH (by default the newest
# changelog entry's), so two builds of one commit give the same bytes.
cmake_minimum_required(VERSION 3.25)
cmake_path(ABSOLUTE_PATH BUILD)
include(${BUILD}/deb-config.cmake)  # QURO_DEB_* from cmake/Package.cmake
if(NOT OUTPUT)
  set(OUTPUT ${BUILD}/package)
endif()
cmake_path(ABSOLUTE_PATH OUTPUT)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
  set(epoch ${QURO_DEB_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})  # dpkg-deb's time for the archive members
endif()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    message(FATAL_ERROR "${ARGN}:\n${out}")
  endif()
  set(out ${out} PARENT_SCOPE)
endfunction()

set(work ${OUTPUT}/work)
set(root ${work}/root)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${root}/DEBIAN)
set(ENV{DESTDIR} ${root})
run(${CMAKE_COMMAND} --install ${BUILD} --prefix /usr --strip)
unset(ENV{DESTDIR})

# Every file 0644, the programs in bin/ 0755, every folder 0755.
file(CHMOD_RECURSE ${root}/usr FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
  DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(GLOB programs ${root}/usr/bin/*)
file(CHMOD ${programs} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
  WORLD_READ WORLD_EXECUTE)

# md5sums and the installed size, over the files in name order.
file(GLOB_RECURSE files RELATIVE ${root} LIST_DIRECTORIES false ${root}/usr/*)
list(SORT files)
set(md5sums "")
set(kib 0)
foreach(f IN LISTS files)
  file(MD5 ${root}/${f} md5)
  string(APPEND md5sums "${md5}  ${f}\n")
  file(SIZE ${root}/${f} size)
  math(EXPR kib "${kib} + (${size} + 1023) / 1024")
endforeach()
file(WRITE ${root}/DEBIAN/md5sums "${md5sums}")

# The runtime packages of what the programs link, with the versions their
# symbols need. dpkg-shlibdeps reads a source package's control file.
file(WRITE ${work}/debian/control "Source: quro-pack\n\nPackage: quro-pack\nArchitecture: any\n")
execute_process(COMMAND dpkg-shlibdeps -O ${programs} WORKING_DIRECTORY ${work}
  RESULT_VARIABLE failed OUTPUT_VARIABLE substvars ERROR_VARIABLE errors)
if(failed OR NOT substvars MATCHES "shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "dpkg-shlibdeps (Debian package dpkg-dev) could not tell the dependencies:\n${errors}")
endif()
set(depends ${CMAKE_MATCH_1})
run(dpkg --print-architecture)
string(STRIP "${out}" architecture)

file(WRITE ${root}/DEBIAN/control "Package: quro-pack
Version: ${QURO_DEB_VERSION}
Architecture: ${architecture}
Maintainer: ${QURO_DEB_MAINTAINER}
Installed-Size: ${kib}
Depends: ${depends}
Section: devel
Priority: optional
Description: ${QURO_DEB_DESCRIPTION}
")
file(CHMOD ${root}/DEBIAN/control ${root}/DEBIAN/md5sums PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(CHMOD ${root} ${root}/DEBIAN PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
  WORLD_READ WORLD_EXECUTE)
run(find ${root} -exec touch -h -d @${epoch} {} +)

# gzip, one thread: xz's output depends on how many threads it uses.
set(deb ${OUTPUT}/quro-pack_${QURO_DEB_VERSION}_${architecture}.deb)
run(dpkg-deb --root-owner-group -Zgzip -z9 --build ${root} ${deb})
file(REMOVE_RECURSE ${work})
message(STATUS "${deb}")

# The release of a module build (win32 or linux32): the module and the
# simulator stripped, their debug information in files of their own, and two
# CPack archives in build/<preset>/packages:
#
#   klarna-VERSION-win32.zip            klarna-VERSION-linux-i686.tar.gz
#   klarna-VERSION-win32-symbols.zip    klarna-VERSION-linux-i686-symbols.tar.gz
#
# made after a build by "cmake --build --preset win32 --target package" or
# scripts/release.sh. VERSION is the project version. The test "package"
# unpacks the first archive and runs what it holds.

if(WIN32)
  set(KLARNA_PLATFORM_NAME win32)
  set(CPACK_GENERATOR ZIP)
else()
  set(KLARNA_PLATFORM_NAME linux-i686)
  set(CPACK_GENERATOR TGZ)
endif()
set(KLARNA_PACKAGE_NAME klarna-${PROJECT_VERSION}-${KLARNA_PLATFORM_NAME})
set(KLARNA_MODULE_FILE klarna${CMAKE_SHARED_LIBRARY_SUFFIX})
set(KLARNA_SIM_FILE klarna-sim${CMAKE_EXECUTABLE_SUFFIX})
if(NOT CMAKE_OBJCOPY)
  message(FATAL_ERROR "the release needs objcopy for this toolchain")
endif()

# Stripped copies in build/<preset>/release, debug information in
# release/symbols/<file>.debug, tied to the copy by a debug link (its name
# and CRC). The files the tests run stay as linked, with their debug
# information.
set(release_dir ${CMAKE_BINARY_DIR}/release)
file(MAKE_DIRECTORY ${release_dir}/symbols)
set(release_files)
function(klarna_split_debug target file)
  add_custom_command(
    OUTPUT ${release_dir}/${file} ${release_dir}/symbols/${file}.debug
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> symbols/${file}.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=symbols/${file}.debug
            $<TARGET_FILE:${target}> ${file}
    WORKING_DIRECTORY ${release_dir}
    DEPENDS ${target}
    COMMENT "Stripping ${file}; its debug information goes to release/symbols/${file}.debug"
    VERBATIM)
  list(APPEND release_files ${release_dir}/${file} ${release_dir}/symbols/${file}.debug)
  set(release_files ${release_files} PARENT_SCOPE)
endfunction()
klarna_split_debug(klarna_module ${KLARNA_MODULE_FILE})
klarna_split_debug(klarna-sim ${KLARNA_SIM_FILE})
add_custom_target(klarna_release_files ALL DEPENDS ${release_files})

# Scenarios shipped as examples: the everyday sales, a refund, the first
# logon, a decline and a reversal.
set(KLARNA_EXAMPLE_SCENARIOS
    qr_purchase_from_pos sms_purchase_by_payment_mode qr_cancelled_by_customer purchase_declined
    refund_of_earlier_purchase logon_missing_credentials reversal_sent_before_next_sale)
list(TRANSFORM KLARNA_EXAMPLE_SCENARIOS PREPEND ${PROJECT_SOURCE_DIR}/tests/scenarios/)
list(TRANSFORM KLARNA_EXAMPLE_SCENARIOS APPEND .scenario)

# The licences of the third-party code linked into the shipped files, as
# Debian's packages of that code state them. The Win32 files carry the GCC
# runtime (libstdc++, libgcc), the mingw-w64 runtime and winpthreads
# statically; the Linux files use the system's libraries, which are not
# shipped.
set(KLARNA_LICENCES /usr/share/doc/nlohmann-json3-dev/copyright nlohmann-json.txt)
if(WIN32)
  list(APPEND KLARNA_LICENCES
       /usr/share/doc/gcc-mingw-w64-base/copyright gcc-runtime.txt
       /usr/share/common-licenses/GPL-3 gcc-runtime-GPL-3.txt
       /usr/share/doc/mingw-w64-i686-dev/copyright mingw-w64-runtime-and-winpthreads.txt)
endif()

# The package: everything in one folder named as the archive.
set(top ${KLARNA_PACKAGE_NAME})
install(PROGRAMS ${release_dir}/${KLARNA_MODULE_FILE} ${release_dir}/${KLARNA_SIM_FILE}
        DESTINATION ${top} COMPONENT runtime)
install(FILES ${KLARNA_EXAMPLE_SCENARIOS} DESTINATION ${top}/examples COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/release/INTEGRATION.md ${PROJECT_SOURCE_DIR}/release/CHANGELOG.md
        DESTINATION ${top} COMPONENT runtime)
while(KLARNA_LICENCES)
  list(POP_FRONT KLARNA_LICENCES from to)
  install(FILES ${from} DESTINATION ${top}/licences RENAME ${to} COMPONENT runtime)
endwhile()
# Last: the SHA-256 sum of every other file of the package, in the form
# "sha256sum -c" reads.
install(CODE "set(klarna_package_top \"${top}\")" COMPONENT runtime)
install(CODE [[
  set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${klarna_package_top}")
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${root}" "${root}/*")
  list(REMOVE_ITEM files SHA256SUMS.txt)
  list(SORT files)
  set(sums "")
  foreach(file IN LISTS files)
    file(SHA256 "${root}/${file}" sum)
    string(APPEND sums "${sum}  ${file}\n")
  endforeach()
  file(WRITE "${root}/SHA256SUMS.txt" "${sums}")
]] COMPONENT runtime)

# The symbols package: the debug files and how to turn a crash address into
# a function and a line.
install(FILES ${release_dir}/symbols/${KLARNA_MODULE_FILE}.debug
              ${release_dir}/symbols/${KLARNA_SIM_FILE}.debug ${PROJECT_SOURCE_DIR}/release/SYMBOLS.md
        DESTINATION ${top}-symbols COMPONENT symbols)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/release/symbolise.sh DESTINATION ${top}-symbols COMPONENT symbols)

# cpack and the package target pack what the build made and build nothing
# themselves (otherwise they would build every test first): build, then pack.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_PACKAGE_NAME klarna)
set(CPACK_PACKAGE_VENDOR ${KLARNA_COMPANY})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${KLARNA_PACKAGE_NAME})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime symbols)
set(CPACK_ARCHIVE_RUNTIME_FILE_NAME ${KLARNA_PACKAGE_NAME})
set(CPACK_ARCHIVE_SYMBOLS_FILE_NAME ${KLARNA_PACKAGE_NAME}-symbols)
include(CPack)

# The package as shipped: made by cpack, unpacked into an empty folder and run
# there (under Wine for Win32) by cmake/check-package.sh.
if(KLARNA_BUILD_TESTS)
  if(WIN32)
    set(package_kind pe)
  else()
    set(package_kind elf)
  endif()
  add_test(NAME package_make COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake)
  set_tests_properties(package_make PROPERTIES FIXTURES_SETUP package TIMEOUT 600
                                               WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  add_test(NAME package
           COMMAND ${PROJECT_SOURCE_DIR}/cmake/check-package.sh ${package_kind}
                   ${CMAKE_BINARY_DIR}/packages ${KLARNA_PACKAGE_NAME} ${PROJECT_VERSION}
                   ${CMAKE_BINARY_DIR}/package-check ${PROJECT_SOURCE_DIR})
  set_tests_properties(package PROPERTIES FIXTURES_REQUIRED package TIMEOUT 1200)
  if(WIN32)
    # The package's klarna-sim.exe runs in the tree's one prefix too.
    klarna_wine_test(package)
  endif()
endif()

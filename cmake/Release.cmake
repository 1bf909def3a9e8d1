# What the release package needs from the build of the program players get.
#
# One version: CMakeLists.txt gives it to the project, and the build writes it
# into the header of the version record (qwversion.h), the players' README.txt
# and version.txt, from which release.sh names the package.
#
# The same bytes from every build of the same source: the program carries no
# build time (the PE header's time stamp is 0), no folder of the build (the
# program is stripped and no source names a path), and nothing else that
# depends on when or where it was built.
set(QW_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/src/resources/qwversion.h.in ${QW_GENERATED_DIR}/qwversion.h @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/docs/README.txt.in ${CMAKE_BINARY_DIR}/README.txt @ONLY)
file(WRITE ${CMAKE_BINARY_DIR}/version.txt "${PROJECT_VERSION}\n")

target_include_directories(qwconfig PRIVATE ${QW_GENERATED_DIR})
target_link_options(qwconfig PRIVATE -Wl,--no-insert-timestamp)

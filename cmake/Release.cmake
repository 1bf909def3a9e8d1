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
# The commit a release is built from: release.sh gives it, and the build writes
# it into the version record (the string "SourceCommit") and the players'
# README, so that a player's copy names its source. Other builds leave it empty
# and record none.
set(QW_SOURCE_COMMIT "" CACHE STRING "The commit a release is built from (set by release.sh)")
if(QW_SOURCE_COMMIT)
  set(QW_SOURCE_TEXT "${QW_SOURCE_COMMIT}")
else()
  set(QW_SOURCE_TEXT "(none recorded: not a release build)")
endif()
set(QW_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/src/resources/qwversion.h.in ${QW_GENERATED_DIR}/qwversion.h @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/docs/README.txt.in ${CMAKE_BINARY_DIR}/README.txt @ONLY)
file(WRITE ${CMAKE_BINARY_DIR}/version.txt "${PROJECT_VERSION}\n")

target_include_directories(qwconfig PRIVATE ${QW_GENERATED_DIR})
target_link_options(qwconfig PRIVATE -Wl,--no-insert-timestamp)

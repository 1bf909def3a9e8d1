# The program players get is built for size. Most of a default MinGW build of
# it is runtime code that the program never needs: MinGW's own printf layer
# (mingw_pformat with its float conversions), the C++ exception tables, the
# personality routine and terminate handler, and the posix thread layer behind
# them. The options below keep all of that out; the linker map that every
# build writes (qwconfig.map) shows which runtime objects are still taken.

# Compile options of the program's own code.
add_library(qw_size_options INTERFACE)
target_compile_options(qw_size_options INTERFACE
  # Small code, and one section per function and datum so that the linker can
  # drop what nothing calls.
  -Os -ffunction-sections -fdata-sections
  # The program throws nothing and asks no type at run time.
  $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
# The C runtime's (msvcrt.dll) own formatted conversions instead of MinGW's
# replacement layer. The program formats only whole numbers ("%d", "%04d"),
# which both write byte for byte alike; the test programs check the saved
# numbers against these very objects.
target_compile_definitions(qw_size_options INTERFACE __USE_MINGW_ANSI_STDIO=0)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  # 32-bit: the DWARF unwind tables (.eh_frame) serve only C++ exceptions, and
  # the linker keeps every function they point to. 64-bit code keeps its
  # tables: there Windows itself unwinds the stack with them.
  target_compile_options(qw_size_options INTERFACE -fno-asynchronous-unwind-tables)
endif()

# qw_compile_for_size(TARGET...): compiles the targets' own sources, whatever
# files they list, with qw_size_options. Their users (the test programs) keep
# their own options.
function(qw_compile_for_size)
  foreach(target IN LISTS ARGN)
    target_link_libraries(${target} PRIVATE qw_size_options)
  endforeach()
endfunction()

# qw_link_for_size(TARGET): links the program without the functions and data
# that nothing refers to, strips its symbols and debug information (-s), and
# writes the linker map TARGET.map beside it.
function(qw_link_for_size target)
  target_link_libraries(${target} PRIVATE qw_size_options)
  target_link_options(${target} PRIVATE
    -Wl,--gc-sections -s "-Wl,-Map,$<TARGET_FILE_DIR:${target}>/${target}.map")
endfunction()

# libFuzzer targets (clang). The top-level CMakeLists.txt includes this when KESTOVA_BUILD_FUZZ is
# on; configure such a build of its own with CC=clang CXX=clang++ and without the tests
# (scripts/fuzz.sh does), since the libraries under test are built with the sanitizers.
#
# kestova_fuzz_instrument(<library>...)
#   Coverage feedback and sanitizer checks inside the libraries under test, not only in the
#   harness.
# kestova_add_fuzzer(<name> SOURCES <file>... LIBS <library>... CORPUS <folder> [DICT <file>])
#   One fuzz target with its seed corpus (a handful of real inputs, and the inputs of findings
#   kept as regressions) and, for a text format, a dictionary of its words. It is listed in
#   fuzz_targets.txt in the build folder, which scripts/fuzz.sh reads, and built by the target
#   kestova_fuzzers.

# libstdc++'s own checks (an index past a string's end) catch what ASan cannot see inside a
# string's capacity.
set(KESTOVA_FUZZ_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
    -D_GLIBCXX_ASSERTIONS)

add_custom_target(kestova_fuzzers)

function(kestova_fuzz_instrument)
  foreach(library IN LISTS ARGN)
    target_compile_options(${library} PRIVATE -fsanitize=fuzzer-no-link ${KESTOVA_FUZZ_FLAGS})
  endforeach()
endfunction()

function(kestova_add_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS;DICT" "SOURCES;LIBS" ${ARGN})
  if(NOT F_CORPUS OR NOT IS_DIRECTORY ${F_CORPUS})
    message(FATAL_ERROR "kestova_add_fuzzer(${name}): CORPUS must name its seed folder")
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer ${KESTOVA_FUZZ_FLAGS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  add_dependencies(kestova_fuzzers ${name})
  set_property(GLOBAL APPEND PROPERTY KESTOVA_FUZZERS "${name}\t$<TARGET_FILE:${name}>\t${F_CORPUS}\t${F_DICT}")
endfunction()

# One line per target: name, executable, seed corpus, dictionary (may be empty), separated by tabs.
function(kestova_write_fuzz_manifest)
  get_property(lines GLOBAL PROPERTY KESTOVA_FUZZERS)
  list(JOIN lines "\n" content)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzz_targets.txt CONTENT "${content}\n")
endfunction()

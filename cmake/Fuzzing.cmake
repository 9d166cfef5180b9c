# libFuzzer targets, built when VORLANE_FUZZ is ON (clang only).
#
# Configure a separate build directory for them, since every library of the
# project is then compiled with coverage and sanitizer instrumentation:
#
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DVORLANE_FUZZ=ON \
#       -DVORLANE_BUILD_GUI=OFF -DVORLANE_BUILD_TESTS=OFF
#   cmake --build build-fuzz --target vorlane_fuzzers
#   build-fuzz/tests/fuzz/fuzz_parsedurl -max_total_time=60 tests/fuzz/corpus/parsedurl
#
# vorlane_add_fuzzer(NAME SOURCE LIBS...) adds one target: SOURCE defines
# LLVMFuzzerTestOneInput and links against LIBS. Its seed corpus, if any, lives
# in tests/fuzz/corpus/<name without the "fuzz_" prefix>/. Every target joins
# the vorlane_fuzzers target; scripts/run-fuzzers.sh runs them all.

if (NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VORLANE_FUZZ needs clang (CC=clang CXX=clang++)")
endif()

set(VORLANE_SANITIZERS "address,undefined")
# Instrument everything for coverage and the sanitizers; only the fuzz targets
# link the fuzzer's own main.
add_compile_options(-fsanitize=fuzzer-no-link,${VORLANE_SANITIZERS} -fno-omit-frame-pointer
                    -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=${VORLANE_SANITIZERS})

add_custom_target(vorlane_fuzzers)

function(vorlane_add_fuzzer NAME SOURCE)
    add_executable(${NAME} ${SOURCE})
    target_link_libraries(${NAME} PRIVATE vorlane_common_cfg ${ARGN})
    target_link_options(${NAME} PRIVATE -fsanitize=fuzzer)
    add_dependencies(vorlane_fuzzers ${NAME})
endfunction()

# Where the build puts the scrambled sample database, for tools/dpdb (which makes it) and for the
# programs that read it (tests, dpdb-fuzz, dpdb-bench), whatever order their folders are read in.
# Under a cross build dpdb runs in Wine (a 64-bit prefix only, so not in the 32-bit build).
set(DIALPASS_SAMPLE_DIR ${CMAKE_BINARY_DIR}/sample)
if(NOT CMAKE_CROSSCOMPILING OR CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(DIALPASS_HAS_SAMPLE ON)
else()
    set(DIALPASS_HAS_SAMPLE OFF)
endif()
# Relative to the programs' own folder (bin), so it holds on Windows and under Wine alike.
file(RELATIVE_PATH DIALPASS_SAMPLE_FROM_BIN ${CMAKE_RUNTIME_OUTPUT_DIRECTORY} ${DIALPASS_SAMPLE_DIR})
set(DIALPASS_SAMPLE_DEFINITION "DIALPASS_SAMPLE_FROM_BIN=\"${DIALPASS_SAMPLE_FROM_BIN}\"")

file(SIZE "${FILE}" size)
math(EXPR kib "(${size} + 1023) / 1024")
message(STATUS "dialpass.cpl stripped: ${size} bytes (${kib} KiB)")

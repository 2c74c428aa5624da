# The C library's check under wine, in this bitness's prefix (included by module/server.cmake
# among its wine checks, so it shares their prefix, label and fixture).
add_test(NAME wine${zel_bits}.capi COMMAND ${zel_check} program $<TARGET_FILE:zelusbc_check>)

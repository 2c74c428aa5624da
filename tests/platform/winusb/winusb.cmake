# The library on WinUSB, checked under wine: wine's own winusb.dll does nothing, so stand-ins of
# setupapi.dll and winusb.dll serve the bench's chips (standin.h). They are built beside the check
# program, which alone loads them ahead of wine's own: setupapi.dll from there, winusb.dll from
# the system folder, where the program puts it for its run. Included by module/server.cmake.

set(zel_winusb_checks ${CMAKE_SOURCE_DIR}/tests/platform/winusb)
set(zel_winusb_out ${CMAKE_CURRENT_BINARY_DIR}/winusb)

# The product boots units with the images beside it.
if(COMMAND zel_place_firmware_images)
  zel_place_firmware_images(ZELUSB)
endif()

function(zel_winusb_target target)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${zel_winusb_out}
    LIBRARY_OUTPUT_DIRECTORY ${zel_winusb_out}
    ARCHIVE_OUTPUT_DIRECTORY ${zel_winusb_out})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  zel_warnings(${target})
endfunction()

# The stand-ins export their functions by their plain names, as the system's DLLs do.
foreach(dll setupapi winusb)
  add_library(zel_standin_${dll} SHARED ${zel_winusb_checks}/standin_${dll}.cpp)
  set_target_properties(zel_standin_${dll} PROPERTIES PREFIX "" OUTPUT_NAME ${dll})
  target_link_options(zel_standin_${dll} PRIVATE -static -Wl,--kill-at)
  zel_winusb_target(zel_standin_${dll})
endforeach()

add_executable(zel_winusb_checks ${zel_winusb_checks}/winusb_checks.cpp)
target_include_directories(zel_winusb_checks PRIVATE ${zel_generated})
target_link_libraries(zel_winusb_checks PRIVATE zelserver zelsim)
target_link_options(zel_winusb_checks PRIVATE -static -municode)
zel_winusb_target(zel_winusb_checks)
add_dependencies(zel_winusb_checks zel_standin_setupapi zel_standin_winusb)

if(ZEL_WINE)
  foreach(group controls faults numbers measure)
    add_test(NAME wine${zel_bits}.winusb_${group} COMMAND ${zel_check} program
             $<TARGET_FILE:zel_winusb_checks> $<TARGET_FILE:ZELUSB> ${group})
    # The program registers the product for its run.
    set_tests_properties(wine${zel_bits}.winusb_${group} PROPERTIES
      ENVIRONMENT "WINE_CHECK_DLLOVERRIDES=setupapi,winusb=n,b"
      LABELS wine SKIP_RETURN_CODE 77 FIXTURES_REQUIRED wine${zel_bits} RESOURCE_LOCK registry)
  endforeach()
endif()

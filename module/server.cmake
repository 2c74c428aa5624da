# ZELUSB.dll for Windows, 32- or 64-bit after the toolchain. Included by CMakeLists.txt.

option(ZEL_SIMULATOR "Build ZELUSB.dll over the virtual bench instead of the Cypress driver" OFF)

# The type library, its C++ declarations and the identifiers, compiled for this target's
# bitness from the interface description.
find_program(ZEL_WIDL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-widl widl REQUIRED)
# The type library imports stdole2.tlb, which comes with wine's Windows-side libraries. It is
# the same for either bitness, so a 32-bit build takes the 64-bit copy when 32-bit wine
# (wine32:i386) is not installed.
set(zel_wine_lib32 /usr/lib/i386-linux-gnu/wine/i386-windows)
set(zel_wine_lib64 /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(zel_widl_flags --win64)
  set(zel_stdole2_dirs ${zel_wine_lib64} ${zel_wine_lib32})
else()
  set(zel_widl_flags --win32)
  set(zel_stdole2_dirs ${zel_wine_lib32} ${zel_wine_lib64})
endif()
find_path(ZEL_STDOLE2_DIR stdole2.tlb PATHS ${zel_stdole2_dirs} NO_DEFAULT_PATH
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)
list(APPEND zel_widl_flags -L${ZEL_STDOLE2_DIR} -I/usr/include/wine/wine/windows)
set(zel_generated ${CMAKE_CURRENT_BINARY_DIR}/generated)
set(zel_idl ${CMAKE_CURRENT_SOURCE_DIR}/ZELUSB.idl)
add_custom_command(
  OUTPUT ${zel_generated}/ZELUSB.tlb ${zel_generated}/ZELUSB_h.h ${zel_generated}/ZELUSB_i.c
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zel_generated}
  COMMAND ${ZEL_WIDL} ${zel_widl_flags} -t -o ${zel_generated}/ZELUSB.tlb ${zel_idl}
  COMMAND ${ZEL_WIDL} ${zel_widl_flags} -h -o ${zel_generated}/ZELUSB_h.h ${zel_idl}
  COMMAND ${ZEL_WIDL} ${zel_widl_flags} -u -o ${zel_generated}/ZELUSB_i.c ${zel_idl}
  DEPENDS ${zel_idl}
  COMMENT "Compiling the type library"
  VERBATIM)
add_custom_target(zel_type_library DEPENDS ${zel_generated}/ZELUSB.tlb)

set_source_files_properties(ZELUSB.rc PROPERTIES OBJECT_DEPENDS
  "${zel_generated}/ZELUSB.tlb;${CMAKE_CURRENT_SOURCE_DIR}/appid.rgs;${CMAKE_CURRENT_SOURCE_DIR}/control.bmp")

# Everything of the server except its driver, shared by the product and the simulator build
# and by the Windows-side checks.
add_library(zelserver STATIC
  class_factory.cpp
  control_objects.cpp
  events/motion_events.cpp
  guids.cpp
  module_file.cpp
  server_module.cpp
  registry/win32_registry.cpp
  type_library.cpp
  window_class.cpp
  ${zel_generated}/ZELUSB_h.h)
add_dependencies(zelserver zel_type_library)
target_include_directories(zelserver PUBLIC ${zel_generated})
target_link_libraries(zelserver PUBLIC zelregistrar zelcore ole32 oleaut32 uuid advapi32 gdi32)
zel_warnings(zelserver)

# The runtime goes in whole, so the library imports system DLLs only.
set(zel_dll_link_options -static)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND zel_dll_link_options -Wl,--enable-stdcall-fixup)
endif()

function(zel_server_dll target driver_source)
  add_library(${target} SHARED exports.cpp ${driver_source} ZELUSB.def ZELUSB.rc)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ZELUSB)
  target_include_directories(${target} PRIVATE ${zel_generated} ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE zelserver ${ARGN})
  target_link_options(${target} PRIVATE ${zel_dll_link_options})
  zel_warnings(${target})
endfunction()

if(ZEL_SIMULATOR)
  zel_server_dll(ZELUSB module_driver_bench.cpp zelsim)
else()
  zel_server_dll(ZELUSB module_driver_hardware.cpp)
endif()

# The simulator flavour always comes along, in bench/, with the firmware images beside it:
# the client tests and the demo drive it without hardware.
zel_server_dll(ZELUSB_bench module_driver_bench.cpp zelsim)
set_target_properties(ZELUSB_bench PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/bench
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/bench
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/bench)
if(COMMAND zel_place_firmware_images)
  zel_place_firmware_images(ZELUSB_bench)
endif()

# The checks that run under wine: a C++ client of the simulator build, the server's Windows
# parts, registration with regsvr32 and reg, and script clients in cscript.
set(zel_wine_checks ${CMAKE_SOURCE_DIR}/tests/module/wine)
add_executable(zel_com_client ${zel_wine_checks}/com_client.cpp)
target_include_directories(zel_com_client PRIVATE ${zel_generated})
target_link_libraries(zel_com_client PRIVATE zelserver)
target_link_options(zel_com_client PRIVATE -static -municode)
zel_warnings(zel_com_client)

# The events as a C++ client takes them, with a sink and a message loop.
add_executable(zel_event_checks ${zel_wine_checks}/event_checks.cpp)
target_link_libraries(zel_event_checks PRIVATE zelserver)
target_link_options(zel_event_checks PRIVATE -static -municode)
zel_warnings(zel_event_checks)

add_executable(zel_server_checks ${zel_wine_checks}/server_checks.cpp)
target_link_libraries(zel_server_checks PRIVATE zelserver)
target_link_options(zel_server_checks PRIVATE -static)
zel_warnings(zel_server_checks)

# The compiled type library as clients read it, against values of its own (none from the
# interface description or the headers made from it).
add_executable(zel_type_library_checks ${zel_wine_checks}/type_library_checks.cpp)
target_include_directories(zel_type_library_checks PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(zel_type_library_checks PRIVATE oleaut32 ole32 uuid)
target_link_options(zel_type_library_checks PRIVATE -static -municode)
zel_warnings(zel_type_library_checks)

# The C++ example client of examples/.
add_executable(zel_example_client ${CMAKE_SOURCE_DIR}/examples/client.cpp)
target_link_libraries(zel_example_client PRIVATE zelserver)
target_link_options(zel_example_client PRIVATE -static)
zel_warnings(zel_example_client)

find_program(ZEL_WINE wine)
if(ZEL_WINE)
  enable_testing()
  math(EXPR zel_bits "${CMAKE_SIZEOF_VOID_P} * 8")
  set(zel_check bash ${zel_wine_checks}/wine_check.sh ${CMAKE_CURRENT_BINARY_DIR}/wine-prefix
      ${zel_bits})
  add_test(NAME wine${zel_bits}.start COMMAND ${zel_check} start)
  add_test(NAME wine${zel_bits}.stop COMMAND ${zel_check} stop)
  add_test(NAME wine${zel_bits}.registration
           COMMAND ${zel_check} registration $<TARGET_FILE:ZELUSB>)
  add_test(NAME wine${zel_bits}.server COMMAND ${zel_check} program
           $<TARGET_FILE:zel_server_checks> $<TARGET_FILE:ZELUSB>)
  add_test(NAME wine${zel_bits}.type_library COMMAND ${zel_check} program
           $<TARGET_FILE:zel_type_library_checks> $<TARGET_FILE:ZELUSB>)
  add_test(NAME wine${zel_bits}.cpp_client COMMAND ${zel_check} program
           $<TARGET_FILE:zel_com_client> $<TARGET_FILE:ZELUSB_bench>)
  set_tests_properties(wine${zel_bits}.cpp_client PROPERTIES
    ENVIRONMENT ZELUSB_BENCH=${zel_wine_checks}/client_bench.json)
  add_test(NAME wine${zel_bits}.events COMMAND ${zel_check} program
           $<TARGET_FILE:zel_event_checks> $<TARGET_FILE:ZELUSB_bench>)
  set_tests_properties(wine${zel_bits}.events PROPERTIES
    ENVIRONMENT ZELUSB_BENCH=${zel_wine_checks}/events_bench.json)
  foreach(script controls.vbs controls.js)
    add_test(NAME wine${zel_bits}.${script}
             COMMAND ${zel_check} script $<TARGET_FILE:ZELUSB_bench>
                     ${zel_wine_checks}/${script} ${zel_wine_checks}/script_bench.json)
    set_tests_properties(wine${zel_bits}.${script} PROPERTIES RESOURCE_LOCK registry)
  endforeach()
  # The examples, on the default bench; the narrated demo in the product's bitness only.
  add_test(NAME wine${zel_bits}.example_js
           COMMAND ${zel_check} script $<TARGET_FILE:ZELUSB_bench>
                   ${CMAKE_SOURCE_DIR}/examples/motors.js - "Last error 0: No Error")
  add_test(NAME wine${zel_bits}.example_cpp COMMAND ${zel_check} client
           $<TARGET_FILE:ZELUSB_bench> $<TARGET_FILE:zel_example_client>)
  set(zel_registering wine${zel_bits}.registration wine${zel_bits}.server
      wine${zel_bits}.example_js wine${zel_bits}.example_cpp)
  if(zel_bits EQUAL 32)
    add_test(NAME wine32.demo COMMAND ${zel_check} script $<TARGET_FILE:ZELUSB_bench>
             ${CMAKE_SOURCE_DIR}/examples/demo.vbs - "Demo finished.")
    list(APPEND zel_registering wine32.demo)
    # How the scripts choose and run 32-bit wine, the i386 root's mounts among it.
    add_test(NAME wine32.runner COMMAND bash ${zel_wine_checks}/wine32_runner_test.sh)
  endif()
  set_tests_properties(${zel_registering} PROPERTIES RESOURCE_LOCK registry)

  include(${CMAKE_SOURCE_DIR}/capi/wine_checks.cmake)

  # The installer package of this bitness, from the folder installer/make_packages.sh fills
  # (scripts/test runs it after both cross builds), in fresh prefixes of its own.
  set(ZEL_PACKAGE_DIR ${CMAKE_SOURCE_DIR}/build/packages CACHE PATH
      "The folder of the installer packages")
  add_test(NAME wine${zel_bits}.installer
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/installer/install_checks.sh ${zel_bits}
                   ${ZEL_PACKAGE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/installer-checks)

  get_property(zel_wine_tests DIRECTORY PROPERTY TESTS)
  # wine_check.sh exits 77 when the machine cannot run this bitness (no 32-bit wine).
  set_tests_properties(${zel_wine_tests} PROPERTIES LABELS wine SKIP_RETURN_CODE 77)
  list(REMOVE_ITEM zel_wine_tests wine${zel_bits}.start wine${zel_bits}.stop)
  set_tests_properties(${zel_wine_tests} PROPERTIES FIXTURES_REQUIRED wine${zel_bits})
  set_tests_properties(wine${zel_bits}.start PROPERTIES FIXTURES_SETUP wine${zel_bits})
  set_tests_properties(wine${zel_bits}.stop PROPERTIES FIXTURES_CLEANUP wine${zel_bits})
endif()

# The OLE control interfaces that make the three classes embeddable, with their checks.
include(${CMAKE_CURRENT_LIST_DIR}/embedding/embedding.cmake)

# The product on WinUSB, checked through stand-ins of the system's DLLs.
include(${CMAKE_SOURCE_DIR}/tests/platform/winusb/winusb.cmake)

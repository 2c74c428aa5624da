# The embeddable-control side of the three classes: the OLE control interfaces shared by all
# of them with the designer drawing, and the checks that host them in the platform's containers
# under wine. Included by server.cmake after the server library and the wine checks are defined.

target_sources(zelserver PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/control_drawing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/embedded_activation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/embedded_data.cpp
  ${CMAKE_CURRENT_LIST_DIR}/embedded_persistence.cpp
  ${CMAKE_CURRENT_LIST_DIR}/embedded_quick_activation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/embedded_site.cpp
  ${CMAKE_CURRENT_LIST_DIR}/embedded_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/format_enumerator.cpp)
target_link_libraries(zelserver PUBLIC user32)

# The checks: the platform's control host, the OLE runtime, the pixels of the drawing and a
# design-mode container, in one program that needs a display (Xvfb). It leaves the capture of a
# design-mode form with the three controls in design_form.png (docs/ keeps one for the README).
add_executable(zel_embedding_checks ${zel_wine_checks}/embedding_checks.cpp
               ${zel_wine_checks}/container_checks.cpp)
target_include_directories(zel_embedding_checks PRIVATE ${zel_generated})
target_link_libraries(zel_embedding_checks PRIVATE zelserver)
target_link_options(zel_embedding_checks PRIVATE -static -municode)
zel_warnings(zel_embedding_checks)

if(ZEL_WINE)
  add_test(NAME wine${zel_bits}.embedding
           COMMAND bash ${zel_wine_checks}/with_display.sh ${zel_check} program
                   $<TARGET_FILE:zel_embedding_checks> $<TARGET_FILE:ZELUSB_bench>
                   ${CMAKE_CURRENT_BINARY_DIR}/design_form.png)
  # The program registers the simulator build for its run.
  set_tests_properties(wine${zel_bits}.embedding PROPERTIES
    ENVIRONMENT ZELUSB_BENCH=${zel_wine_checks}/client_bench.json
    LABELS wine SKIP_RETURN_CODE 77 FIXTURES_REQUIRED wine${zel_bits} RESOURCE_LOCK registry)
endif()

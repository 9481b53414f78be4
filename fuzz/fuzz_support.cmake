# The structure walk and the conversion checks shared by the fuzz target and the robustness
# tests (which replay the saved regression inputs through the same checks without libFuzzer).
if(NOT TARGET duridodi_fuzz_checks)
  add_library(duridodi_fuzz_checks STATIC
    ${CMAKE_CURRENT_LIST_DIR}/model_layout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/model_mutator.cpp
    ${CMAKE_CURRENT_LIST_DIR}/conversion_checks.cpp
  )
  target_include_directories(duridodi_fuzz_checks PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(duridodi_fuzz_checks PUBLIC duridodi_convert)
endif()

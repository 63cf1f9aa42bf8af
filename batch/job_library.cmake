# The job of a batch run (its options, their checks, the job file's JSON) and the windows'
# "Save analysis as job": linked by the batch program and by the tool libraries, which write
# the same file. Included from every folder that needs it, whichever is configured first.
if(NOT TARGET lumivane_job)
  find_package(Qt6 REQUIRED COMPONENTS Core)
  add_library(lumivane_job STATIC
    ${CMAKE_CURRENT_LIST_DIR}/batch_choices.cpp
    ${CMAKE_CURRENT_LIST_DIR}/batch_job.cpp
    ${CMAKE_CURRENT_LIST_DIR}/desktop_job.cpp)
  target_include_directories(lumivane_job PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(lumivane_job PUBLIC lumivane_shared lumivane_platform Qt6::Core)
  # Linked into the shared tool libraries.
  set_target_properties(lumivane_job PROPERTIES POSITION_INDEPENDENT_CODE ON)
endif()

# The job of a batch run (its options, the job file's JSON): linked by the batch program and by
# the tool libraries, whose "Save analysis as job" writes the same file. Included from every
# folder that needs it, whichever is configured first.
if(NOT TARGET lumivane_job)
  find_package(Qt6 REQUIRED COMPONENTS Core)
  add_library(lumivane_job STATIC ${CMAKE_CURRENT_LIST_DIR}/batch_job.cpp ${CMAKE_CURRENT_LIST_DIR}/batch_job.h)
  target_include_directories(lumivane_job PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(lumivane_job PUBLIC Qt6::Core)
  # Linked into the shared tool libraries.
  set_target_properties(lumivane_job PROPERTIES POSITION_INDEPENDENT_CODE ON)
endif()

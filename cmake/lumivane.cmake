# lumivane_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [CUSTOM_MAIN])
# Without CUSTOM_MAIN the suite uses GoogleTest's main; suites that need a QApplication
# bring their own main.
# One GoogleTest executable per subsystem; every test runs headless with its own XDG config
# home so nothing a test stores reaches the developer's settings.
function(lumivane_add_test)
  cmake_parse_arguments(T "CUSTOM_MAIN" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} lumivane_test_support GTest::gtest GTest::gmock)
  if(NOT T_CUSTOM_MAIN)
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
  endif()
  # The discovered tests take their properties as name-value pairs and lose any escaping on the
  # way, so a list of variables in ENVIRONMENT would leave all but the first unset: each variable
  # gets a property of its own. The fixtures' folders are compiled in (tests/support).
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "XDG_CONFIG_HOME=${PROJECT_BINARY_DIR}/test-config"
               ENVIRONMENT_MODIFICATION "QT_QPA_PLATFORM=set:offscreen")
endfunction()

# True when the named subsystem folder is part of this build.
function(lumivane_has_component out component)
  if(component IN_LIST LUMIVANE_COMPONENTS AND EXISTS ${PROJECT_SOURCE_DIR}/${component}/CMakeLists.txt)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# Places a library that is loaded or linked at run time (the platform libraries, the tool
# libraries, the plug-ins) in the one library folder of the build tree, beside methinfo, and
# installs it in the one folder they share. Every module refuses undefined symbols at link time,
# so a missing dependency shows when it is built, not when it is loaded.
function(lumivane_runtime_library target)
  set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${LUMIVANE_LIBRARY_DIR})
  target_link_options(${target} PRIVATE -Wl,--no-undefined)
  install(TARGETS ${target} LIBRARY DESTINATION ${LUMIVANE_INSTALL_LIBRARY_DIR})
endfunction()

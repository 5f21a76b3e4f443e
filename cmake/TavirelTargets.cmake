# The two kinds of target the project is made of: a layer's library and a test
# executable. Both name every source file of their folder; a .cpp or .h that
# a folder holds but its list leaves out stops the configure step, so a file
# added without being listed cannot silently drop out of the build.

# Stops with an error naming every .cpp and .h of the current folder that is
# neither in SOURCES nor in ALSO (files of the folder built by another target).
function(tavirel_require_listed)
  cmake_parse_arguments(R "" "" "SOURCES;ALSO" ${ARGN})
  file(GLOB present CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} *.cpp *.h)
  set(missing)
  foreach(f IN LISTS present)
    if(NOT f IN_LIST R_SOURCES AND NOT f IN_LIST R_ALSO)
      list(APPEND missing ${f})
    endif()
  endforeach()
  if(missing)
    list(JOIN missing ", " names)
    message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}: ${names} not listed in its CMakeLists.txt")
  endif()
endfunction()

# tavirel_add_layer(NAME SOURCES a.cpp a.h ... [ALSO main.cpp] LIBS lib...)
# A static library of one folder of src/; it and everything linking it see
# the headers as "folder/Name.h".
function(tavirel_add_layer name)
  cmake_parse_arguments(L "" "" "SOURCES;ALSO;LIBS" ${ARGN})
  tavirel_require_listed(SOURCES ${L_SOURCES} ALSO ${L_ALSO})
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC tavirel_options ${L_LIBS})
endfunction()

# tavirel_add_test(NAME SOURCES a.cpp ... LIBS lib... [QT] [CLI])
# Every test case becomes a CTest test. Tests of the Qt layers (QT) run under
# a QApplication on Qt's offscreen platform with a temporary settings store.
# CLI tests run the built tavirel-cli, whose path they get as TAVIREL_CLI_PATH.
function(tavirel_add_test name)
  cmake_parse_arguments(T "QT;CLI" "" "SOURCES;LIBS" ${ARGN})
  tavirel_require_listed(SOURCES ${T_SOURCES})
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${T_LIBS} tavirel_options GTest::gtest GTest::gmock)
  # Data kept beside the tests is found by this absolute path, whatever the build folder or compiler cache.
  target_compile_definitions(${name} PRIVATE TAVIREL_TESTS_DIR="${PROJECT_SOURCE_DIR}/tests")
  if(T_QT)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/QtTestMain.cpp)
    target_link_libraries(${name} PRIVATE tavirel_sigmf Qt6::Widgets Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  if(T_CLI)
    add_dependencies(${name} tavirel-cli)
    target_compile_definitions(${name} PRIVATE TAVIREL_CLI_PATH="$<TARGET_FILE:tavirel-cli>")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 120
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS ${name} ENVIRONMENT "QT_QPA_PLATFORM=offscreen\\;TAVIREL_BUILD_DIR=${PROJECT_BINARY_DIR}\\;TAVIREL_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# zof_module(NAME DEPS ...): the static library zof_NAME from src/NAME/*.cpp.
# A folder without sources yet gives an interface library, so that the tree
# configures while modules are still being written.
function(zof_module name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/src/${name}/*.cpp ${CMAKE_SOURCE_DIR}/src/${name}/*.h
       ${CMAKE_SOURCE_DIR}/src/${name}/*.qrc)
  list(FILTER sources INCLUDE REGEX "\\.(cpp|qrc)$")
  if(sources)
    file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${name}/*.h)
    add_library(zof_${name} STATIC ${sources} ${headers})
    target_include_directories(zof_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(zof_${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(zof_${name} INTERFACE)
    target_include_directories(zof_${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(zof_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# zof_module_tests(NAME): tests/NAME/*.cpp as the GoogleTest program test_NAME.
function(zof_module_tests name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${name}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(test_${name} ${sources} ${CMAKE_SOURCE_DIR}/tests/testMain.cpp)
  target_include_directories(test_${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(test_${name} PRIVATE zof_${name} GTest::gtest Qt6::Core)
  add_test(NAME ${name} COMMAND test_${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZOF_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data")
endfunction()

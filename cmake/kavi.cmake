# Shared build helpers: the test framework for both sides and kavi_add_tests.
set(KAVI_ROOT ${CMAKE_SOURCE_DIR})
set(KAVI_TEST_RESULTS ${CMAKE_BINARY_DIR}/test-results)
file(MAKE_DIRECTORY ${KAVI_TEST_RESULTS})

if(WIN32)
  # GoogleTest cross-built from the sources Debian ships.
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_library(kavi_gtest INTERFACE)
  target_link_libraries(kavi_gtest INTERFACE gtest_main gmock)
else()
  find_package(GTest REQUIRED)
  add_library(kavi_gtest INTERFACE)
  target_link_libraries(kavi_gtest INTERFACE GTest::gtest_main GTest::gmock)
endif()

# The Windows-side tests run under the half of Wine that matches the tree:
# the 64-bit build in its own 64-bit prefix (scripts/wine, KAVI_WINE_ARCH).
# kavi_wine_test(NAME... [GUI]) marks CTest tests that run under Wine (label
# "wine"; with GUI also "gui": the end-to-end suites and the screenshots), so
# the test command can choose by what the machine runs.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(KAVI_WINE_ARCH 64)
else()
  set(KAVI_WINE_ARCH 32)
endif()
function(kavi_wine_test)
  cmake_parse_arguments(W "GUI" "" "" ${ARGN})
  set(labels wine)
  if(W_GUI)
    list(APPEND labels gui)
  endif()
  set_tests_properties(${W_UNPARSED_ARGUMENTS} PROPERTIES
                       ENVIRONMENT KAVI_WINE_ARCH=${KAVI_WINE_ARCH} LABELS "${labels}")
endfunction()

# kavi_add_tests(NAME [SERVICE_HOST] SOURCES files... LIBS libs...)
# One GoogleTest executable registered with CTest. On the Windows side it runs
# under scripts/wine. Each run leaves an XML report that scripts/test counts.
# SERVICE_HOST: CTest starts a development service host of the suite's own on
# a free loopback port around each run (tools/devhost/devhost.py run) and
# names it in the environment (KAVI_DEVHOST_URL, KAVI_DEVHOST_WINDIR).
function(kavi_add_tests name)
  cmake_parse_arguments(T "SERVICE_HOST" "" "SOURCES;LIBS" ${ARGN})
  set(wrapper)
  if(T_SERVICE_HOST)
    set(wrapper python3 ${KAVI_ROOT}/tools/devhost/devhost.py run
                --state ${CMAKE_CURRENT_BINARY_DIR}/${name}-devhost --)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} kavi_gtest)
  target_include_directories(${name} PRIVATE ${KAVI_ROOT})
  set(report ${KAVI_TEST_RESULTS}/${name}.xml)
  set(check ${KAVI_ROOT}/scripts/lib/gtest_run.sh ${report})
  if(WIN32)
    target_link_options(${name} PRIVATE -mconsole)
    add_test(NAME ${name}
             COMMAND ${wrapper} ${check} ${KAVI_ROOT}/scripts/wine $<TARGET_FILE:${name}>
                     --gtest_output=xml:Z:${report})
    kavi_wine_test(${name})
  else()
    add_test(NAME ${name}
             COMMAND ${wrapper} ${check} $<TARGET_FILE:${name}> --gtest_output=xml:${report})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()

# kavi_library(NAME PORTABLE files... WIN32 files... LIBS libs... WIN32_LIBS libs...)
# A subsystem library: portable sources on both sides, Win32 sources only in
# the cross build.
function(kavi_library name)
  cmake_parse_arguments(L "" "" "PORTABLE;WIN32;POSIX;LIBS;WIN32_LIBS" ${ARGN})
  set(sources ${L_PORTABLE})
  if(WIN32)
    list(APPEND sources ${L_WIN32})
  else()
    list(APPEND sources ${L_POSIX})
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${KAVI_ROOT})
  target_link_libraries(${name} PUBLIC ${L_LIBS})
  if(WIN32)
    target_link_libraries(${name} PUBLIC ${L_WIN32_LIBS})
  endif()
endfunction()
if(WIN32)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${KAVI_ROOT} -c 65001")
endif()

# kavi_copy_dll_beside(TARGET DLL_TARGET): keeps a copy of a DLL we build in
# TARGET's output folder, refreshed whenever the DLL changes, so TARGET loads
# it the way the program does (from its own folder).
function(kavi_copy_dll_beside target dll)
  get_target_property(dir ${target} RUNTIME_OUTPUT_DIRECTORY)
  if(NOT dir)
    set(dir ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  set(copy ${dir}/$<TARGET_FILE_NAME:${dll}>)
  add_custom_command(OUTPUT ${dir}/${dll}.stamp
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${dll}> ${copy}
    COMMAND ${CMAKE_COMMAND} -E touch ${dir}/${dll}.stamp
    DEPENDS ${dll})
  add_custom_target(${target}_${dll}_copy DEPENDS ${dir}/${dll}.stamp)
  add_dependencies(${target} ${target}_${dll}_copy)
endfunction()

# kavi_def_file(VAR FILE.def): the module-definition file to link with.
# The 32-bit build exports __stdcall functions under their @N-decorated
# names; x86-64 has one calling convention and no decorations, so there a
# copy without them (in the build tree) is named instead.
function(kavi_def_file var def)
  get_filename_component(path ${def} ABSOLUTE)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    file(READ ${path} text)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    get_filename_component(name ${def} NAME)
    set(path ${CMAKE_CURRENT_BINARY_DIR}/${name})
    file(WRITE ${path} "${text}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
  endif()
  set(${var} ${path} PARENT_SCOPE)
endfunction()

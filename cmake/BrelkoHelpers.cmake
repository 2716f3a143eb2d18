# Shared build helpers. Each source folder globs its own files, so adding a
# class means adding its .h/.cpp pair and nothing else.

set(BRELKO_WARNINGS -Wall -Wextra)
if(BRELKO_WERROR)
    list(APPEND BRELKO_WARNINGS -Werror)
endif()

set(BRELKO_SAN_FLAGS "")
if(BRELKO_SANITIZE)
    set(BRELKO_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
elseif(BRELKO_TSAN)
    set(BRELKO_SAN_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
endif()
if(BRELKO_SAN_FLAGS)
    add_compile_options(${BRELKO_SAN_FLAGS})
    add_link_options(${BRELKO_SAN_FLAGS})
endif()

function(brelko_warnings target)
    target_compile_options(${target} PRIVATE ${BRELKO_WARNINGS})
endfunction()

# brelko_add_library(<name> [DIRS dir...] [EXCLUDE file...] [LIBS lib...])
# A static library of every .cpp/.h in the listed folders (default: the current
# one). An empty folder gives an INTERFACE library so dependents still link.
function(brelko_add_library name)
    cmake_parse_arguments(ARG "" "" "DIRS;EXCLUDE;LIBS" ${ARGN})
    if(NOT ARG_DIRS)
        set(ARG_DIRS ${CMAKE_CURRENT_SOURCE_DIR})
    endif()
    set(srcs "")
    foreach(d ${ARG_DIRS})
        file(GLOB found CONFIGURE_DEPENDS ${d}/*.cpp ${d}/*.h ${d}/*.ui ${d}/*.qrc)
        list(APPEND srcs ${found})
    endforeach()
    foreach(x ${ARG_EXCLUDE})
        list(FILTER srcs EXCLUDE REGEX "/${x}$")
    endforeach()
    set(has_cpp FALSE)
    foreach(s ${srcs})
        if(s MATCHES "\\.cpp$")
            set(has_cpp TRUE)
        endif()
    endforeach()
    if(has_cpp)
        add_library(${name} STATIC ${srcs})
        target_include_directories(${name} PUBLIC ${ARG_DIRS})
        target_link_libraries(${name} PUBLIC ${ARG_LIBS})
        brelko_warnings(${name})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${ARG_DIRS})
        target_link_libraries(${name} INTERFACE ${ARG_LIBS})
    endif()
endfunction()

set(BRELKO_MISSING_TEST_SOURCE FATAL_ERROR CACHE STRING "What a missing test source is (FATAL_ERROR or WARNING)")

# brelko_add_test(<name> SOURCES src... LIBS lib... [LABELS unit|e2e] [TIMEOUT s] [SOUND])
# Every test gets its own data, config and runtime folders so it never
# touches the real home. SOUND marks tests that open sound devices (in
# process or through a program they start): they run one at a time, and as
# the sound system unloads its plugins before exit, LeakSanitizer needs full
# stacks to recognise what they keep (suppressed in scripts/lsan.supp).
function(brelko_add_test name)
    cmake_parse_arguments(ARG "SOUND" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    if(ARG_SOUND)
        list(APPEND ARG_ENV
            "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:fast_unwind_on_malloc=0"
            "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/scripts/lsan.supp:print_suppressions=0")
    endif()
    foreach(src ${ARG_SOURCES})
        if(NOT IS_ABSOLUTE ${src})
            set(src ${CMAKE_CURRENT_SOURCE_DIR}/${src})
        endif()
        if(NOT EXISTS ${src})
            message(${BRELKO_MISSING_TEST_SOURCE} "test ${name}: ${src} does not exist")
            return()
        endif()
    endforeach()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt5::Test)
    brelko_warnings(${name})
    set(home ${CMAKE_BINARY_DIR}/testhome/${name})
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_LABELS)
        set(ARG_LABELS unit)
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set_tests_properties(${name} PROPERTIES
        LABELS "${ARG_LABELS}"
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "XDG_DATA_HOME=${home}/data;XDG_CONFIG_HOME=${home}/config;VSPORT_DIR=${home}/vsport;BRELKO_TEST_HOME=${home};BRELKO_BIN_DIR=${CMAKE_BINARY_DIR}/bin;BRELKO_LIB_DIR=${CMAKE_BINARY_DIR}/lib;${ARG_ENV}")
    if(ARG_SOUND)
        # One private sound server serves the whole run, and these tests play
        # to and record from its shared devices: one at a time.
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK sound)
    endif()
    file(MAKE_DIRECTORY ${home}/data ${home}/config)
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt.
function(brelko_add_subfolders)
    file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
    list(SORT children)
    foreach(c ${children})
        get_filename_component(d ${c} DIRECTORY)
        # BRELKO_ONLY_SUBDIRS (a list of folder names) narrows a local build.
        if(BRELKO_ONLY_SUBDIRS AND NOT d IN_LIST BRELKO_ONLY_SUBDIRS)
            continue()
        endif()
        add_subdirectory(${d})
    endforeach()
endfunction()

# Fuzz builds (clang): every object is instrumented for libFuzzer and built
# with ASan+UBSan; the fuzz targets link the libFuzzer driver.
if(BRELKO_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# brelko_add_fuzzer(<name> SOURCES src... LIBS lib...)
# Produces bin/<name>; scripts/run-fuzzers.sh runs every bin/fuzz_* for a
# bounded time with fuzz/corpus/<name>/ as seed corpus.
function(brelko_add_fuzzer name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_dependencies(fuzzers ${name})
    brelko_warnings(${name})
endfunction()

# Shared build helpers. Source lists are explicit: a file's target is visible
# in its folder's CMakeLists.txt.

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

# brelko_add_library(<name> SOURCES file... [LIBS lib...])
# A static library of the listed files. Every target includes from the one
# source root (set at the top), so an include names its folder.
function(brelko_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
    brelko_warnings(${name})
endfunction()

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

# brelko_check_not_linked(<forbidden-target> <target>...)
# Fails the configure step when a target reaches the forbidden one through
# its link libraries, at any depth: the cores must build without widgets.
function(_brelko_collect_links target out)
    set(seen ${${out}})
    if(target IN_LIST seen OR NOT TARGET ${target})
        return()
    endif()
    list(APPEND seen ${target})
    get_target_property(type ${target} TYPE)
    set(libs "")
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
        get_target_property(direct ${target} LINK_LIBRARIES)
        if(direct)
            list(APPEND libs ${direct})
        endif()
    endif()
    get_target_property(iface ${target} INTERFACE_LINK_LIBRARIES)
    if(iface)
        list(APPEND libs ${iface})
    endif()
    foreach(l ${libs})
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" l "${l}")
        if(TARGET ${l})
            get_target_property(aliased ${l} ALIASED_TARGET)
            if(aliased)
                set(l ${aliased})
            endif()
            _brelko_collect_links(${l} seen)
        endif()
    endforeach()
    set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(brelko_check_not_linked forbidden)
    foreach(t ${ARGN})
        set(reached "")
        _brelko_collect_links(${t} reached)
        if(${forbidden} IN_LIST reached)
            message(FATAL_ERROR "${t} links ${forbidden}; it must build without it")
        endif()
    endforeach()
endfunction()

# Precompiled headers. Much of a translation unit's cost is parsing the standard library, fmt and
# pugixml again; each build parses them once per kind of target instead. nlohmann::json stays
# out: every unit that takes a precompiled form compiles again the templates its header itself
# instantiates (0.6 CPU-seconds a unit), dearer than parsing it is to the few units that use it.
# A holder target compiles the headers with the flags of the targets that take them (a
# precompiled header only serves units compiled the same way, and -Winvalid-pch with -Werror
# turns a mismatch into a failed build rather than a quietly slower one); vntq_use_pch hands it
# to every C++ target of a folder tree.
#
# The headers come in front of every unit, so a missing include can go unnoticed here: scripts/lint
# configures without them, and clang-tidy then reports it.
option(VNTQ_PCH "Precompile the widely used standard and library headers" ON)

set(VNTQ_PCH_HEADERS
    <algorithm> <array> <atomic> <charconv> <chrono> <cmath> <cstddef> <cstdint> <cstdlib>
    <exception> <filesystem> <fstream> <functional> <limits> <map> <memory> <mutex> <optional>
    <set> <stdexcept> <string> <string_view> <system_error> <thread> <unordered_map> <utility>
    <vector> <fmt/format.h> <pugixml.hpp>)

# vntq_pch_holder(<name> <headers> LINKS <libraries>...): the target that compiles <headers>
# (a list) with the compile flags of the current folder and of <libraries>, whose definitions
# the headers see (FMT_SHARED, GTEST_HAS_PTHREAD) as the targets taking them do.
function(vntq_pch_holder name headers)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "LINKS")
    if(NOT VNTQ_PCH OR VNTQ_FUZZ)
        return()
    endif()
    set(source ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp)
    file(CONFIGURE OUTPUT ${source} CONTENT "// Holds the precompiled headers.\n")
    add_library(${name} OBJECT ${source})
    target_link_libraries(${name} PRIVATE ${arg_LINKS})
    target_precompile_headers(${name} PRIVATE ${headers})
endfunction()

# vntq_use_pch(<holder> <folder> [EXCEPT <targets>...]): every C++ library and program of
# <folder> and its sub-folders that takes no precompiled headers yet takes those of <holder>.
function(vntq_use_pch holder folder)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "EXCEPT")
    if(NOT TARGET ${holder})
        return()
    endif()
    get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(target STREQUAL holder OR target IN_LIST arg_EXCEPT
           OR NOT type MATCHES "^(STATIC_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
            continue()
        endif()
        # A holder, or a target that already takes another holder's headers, keeps its own.
        get_target_property(reused ${target} PRECOMPILE_HEADERS_REUSE_FROM)
        get_target_property(own ${target} PRECOMPILE_HEADERS)
        if(NOT reused AND NOT own)
            target_precompile_headers(${target} REUSE_FROM ${holder})
            # g++ 12 loses the system-header mark of code read from a precompiled header, so
            # the library's inlined string code raises this false alarm, silent without one.
            target_compile_options(${target} PRIVATE -Wno-stringop-overread)
        endif()
    endforeach()
    get_property(folders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
    foreach(sub IN LISTS folders)
        vntq_use_pch(${holder} ${sub} EXCEPT ${arg_EXCEPT})
    endforeach()
endfunction()

# Narrowing and signed/unsigned changes are spelled out in the program, its tools and stand-ins
# (the tests may still rely on the implicit ones).
set(VNTQ_STRICT_WARNINGS -Wconversion -Wsign-conversion -Wold-style-cast -Wmissing-declarations)

# One static library per subsystem: every .cpp of its folder, except main.cpp.
function(vntq_library name)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARGN})
    target_compile_options(${name} PRIVATE ${VNTQ_STRICT_WARNINGS})
endfunction()

# The icon tool (packaging/make_icon.cpp) for the machine that builds: a
# cross build (Windows, the browser) compiles it with this machine's
# compiler, since it runs during the build. Sets var to what to run.
function(knoll_icon_tool var)
  if(CMAKE_CROSSCOMPILING)
    find_program(KNOLL_HOST_CXX NAMES c++ g++ REQUIRED)
    set(tool ${CMAKE_BINARY_DIR}/knoll_icon_host)
    add_custom_command(OUTPUT ${tool}
      COMMAND ${KNOLL_HOST_CXX} -std=c++17 -O2 -I${STB_INCLUDE_DIR}
              ${CMAKE_SOURCE_DIR}/packaging/make_icon.cpp -o ${tool} -lstb -lm
      DEPENDS ${CMAKE_SOURCE_DIR}/packaging/make_icon.cpp
      COMMENT "Building the icon tool for this machine")
  else()
    add_executable(knoll_icon packaging/make_icon.cpp)
    target_link_libraries(knoll_icon PRIVATE knoll_stb)
    set(tool knoll_icon)
  endif()
  set(${var} ${tool} PARENT_SCOPE)
endfunction()

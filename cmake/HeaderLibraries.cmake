# CLI11 and nlohmann-json, header-only, for qrv and the libraries beneath it.
if(CMAKE_CROSSCOMPILING)
    # Both are header-only; the build system's copies serve the target too.
    # Only their own folders are added, never the build system's include root.
    set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
    file(MAKE_DIRECTORY ${host_headers})
    foreach(dir CLI nlohmann)
        if(NOT EXISTS ${host_headers}/${dir})
            file(CREATE_LINK /usr/include/${dir} ${host_headers}/${dir} SYMBOLIC)
        endif()
    endforeach()
    add_library(header_libraries INTERFACE)
    target_include_directories(header_libraries SYSTEM INTERFACE ${host_headers})
    add_library(CLI11::CLI11 ALIAS header_libraries)
    add_library(nlohmann_json::nlohmann_json ALIAS header_libraries)
else()
    find_package(CLI11 CONFIG REQUIRED)
    find_package(nlohmann_json 3 REQUIRED)
endif()

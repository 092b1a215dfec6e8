# Warnings are set per target, never through global flags.
option(QRV_WERROR "Treat warnings as errors" OFF)
option(QRV_SANITIZE "Sanitizers to build with: address (address+undefined) or thread" "")

function(qrv_target_options target)
    target_compile_features(${target} PUBLIC cxx_std_20)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
    if(QRV_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

if(QRV_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(QRV_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

# Hardened as Debian hardens its packages: stack canaries and probes, control-flow protection,
# checked C library calls where the optimiser can see the sizes, position-independent code, and
# relocations read-only with every symbol bound at start.
#
# Debian's own build of the package has most of it from dpkg-buildflags and turns
# ECHOBACK_HARDENING off; a build from source gets the same flags here. Stack clash probes and
# control-flow protection are added to every build, since Debian 12's dpkg-buildflags does not
# give them (Debian 13's does, and then they are not added twice), and so is position-independent
# code, which Debian's compilers make by default and dpkg-buildflags therefore never asks for.

# Adds a compile flag to every target unless the builder's flags carry it already (with any value).
function(add_flag_unless_given flag)
    string(REGEX REPLACE "=.*" "=" flag_name "${flag}")
    string(FIND " ${CMAKE_CXX_FLAGS}" " ${flag_name}" given)
    if(given EQUAL -1)
        target_compile_options(project_options INTERFACE ${flag})
    endif()
endfunction()

if(ECHOBACK_HARDENING)
    target_compile_options(project_options INTERFACE
        -fstack-protector-strong -Werror=format-security)
    # At -O0 the C library warns that it cannot check its calls.
    target_compile_definitions(project_options INTERFACE
        $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
    target_link_options(project_options INTERFACE -Wl,-z,relro -Wl,-z,now)
endif()

add_flag_unless_given(-fstack-clash-protection)
# Control-flow protection is x86's.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i.86)$")
    add_flag_unless_given(-fcf-protection)
endif()
target_compile_options(project_options INTERFACE -fPIE)
target_link_options(project_options INTERFACE -pie)

# ondrix_test_environment(name out): what a test of the program runs with:
# offscreen, the engine unsandboxed (CI runs as root), and a runtime folder
# of its own, so that the program's single-instance socket is never another
# run's (nor the user's own program's).
function(ondrix_test_environment name out)
    set(run "${CMAKE_BINARY_DIR}/test-runtime/${name}")
    file(MAKE_DIRECTORY "${run}")
    file(CHMOD "${run}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    set(${out}
        "QT_QPA_PLATFORM=offscreen;QTWEBENGINE_DISABLE_SANDBOX=1;QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --no-sandbox;LC_ALL=C.UTF-8;XDG_RUNTIME_DIR=${run}"
        PARENT_SCOPE)
endfunction()

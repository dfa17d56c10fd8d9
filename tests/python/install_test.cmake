# cmake --install puts tesselraw, its stubs and py.typed into the interpreter's site-packages
# under the prefix; the interpreter imports it from there alone.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX} --component python
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed")
endif()
foreach(file __init__.py __init__.pyi py.typed)
    if(NOT EXISTS ${PREFIX}/${SITE}/tesselraw/${file})
        message(FATAL_ERROR "not installed: ${SITE}/tesselraw/${file}")
    endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${PREFIX}/${SITE} PYTHONNOUSERSITE=1
    ${PYTHON} -c "import tesselraw, sys; assert tesselraw.__file__.startswith(sys.argv[1]), tesselraw.__file__; print(tesselraw.engines()[0]['engine'])" ${PREFIX}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR NOT output MATCHES "cpu")
    message(FATAL_ERROR "the installed module does not import: ${output}${errors}")
endif()

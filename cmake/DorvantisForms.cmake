# A library whose public header holds a Designer form by value makes its users
# need the form's generated ui_*.h too: this puts the folder AUTOUIC writes
# them to on the target's public include path.
function(dorvantis_publish_forms target)
    get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
    set(forms ${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/include)
    if(multi_config)
        string(APPEND forms _$<CONFIG>)
    endif()
    target_include_directories(${target} PUBLIC ${forms})
endfunction()

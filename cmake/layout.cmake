# A library's users see the headers of its own folder, by the names they
# include them by ("formats/Png.h"), and no other folder's: each library
# exports a folder of its own in the build tree that holds one link, to its
# sources. `AS` names the folder as users include it where that differs
# from where it lives: the window's stand-ins are "platform/…" whichever
# backend builds them.
function(glimmer_export target folder)
    cmake_parse_arguments(EXPORT "" "AS" "" ${ARGN})
    set(as ${folder})
    if(EXPORT_AS)
        set(as ${EXPORT_AS})
    endif()
    set(root ${PROJECT_BINARY_DIR}/include/${target})
    get_filename_component(parent ${root}/${as} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${as} SYMBOLIC)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE ${root})
    else()
        target_include_directories(${target} PUBLIC ${root})
    endif()
endfunction()

# A target built with Qt: moc for its classes with signals and slots. No
# other target runs moc.
function(glimmer_uses_qt target)
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
endfunction()

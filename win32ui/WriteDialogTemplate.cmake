# Writes the resource script OUT from TEMPLATE with the dialog's ids, caption, font, size and
# controls read from res/Resource.h (HEADER), so the Windows template and the Qt dialog share one
# table. Run with cmake -P.
file(READ ${HEADER} header)

function(constant name out)
    if(NOT header MATCHES "constexpr [a-z ]+\\*? ?${name} = \"?([^\";]*)\"?;")
        message(FATAL_ERROR "${HEADER} has no ${name}")
    endif()
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

# Without the semicolon, which would split the list.
string(REGEX MATCHALL "constexpr int (ID[CD]_[A-Z_]+) = [0-9]+" ids "${header}")
set(DIALOG_IDS "")
foreach(id ${ids})
    string(REGEX REPLACE "constexpr int (ID[CD]_[A-Z_]+) = ([0-9]+)" "#define \\1 \\2" line "${id}")
    string(APPEND DIALOG_IDS "${line}\n")
endforeach()

constant(kDialogWidth DIALOG_WIDTH)
constant(kDialogHeight DIALOG_HEIGHT)
constant(kCaption DIALOG_CAPTION)
constant(kDialogFont DIALOG_FONT)
constant(kDialogFontPoints DIALOG_FONT_POINTS)

# A row: {IDC_X, "IDC_X", ControlKind::Kind, "text", x, y, width, height}, perhaps over two lines.
set(number "[ \n]*([0-9]+)")
string(REGEX MATCHALL
       "{(IDC_[A-Z_]+),[ \n]*\"[A-Z_]+\",[ \n]*ControlKind::([A-Za-z]+),[ \n]*\"([^\"]*)\",${number},${number},${number},${number}[ \n]*}"
       rows "${header}")
set(DIALOG_CONTROLS "")
foreach(row ${rows})
    string(REGEX MATCH
           "{(IDC_[A-Z_]+),[ \n]*\"[A-Z_]+\",[ \n]*ControlKind::([A-Za-z]+),[ \n]*\"([^\"]*)\",${number},${number},${number},${number}"
           _ "${row}")
    set(id ${CMAKE_MATCH_1})
    set(text "${CMAKE_MATCH_3}")
    set(rect "${CMAKE_MATCH_4}, ${CMAKE_MATCH_5}, ${CMAKE_MATCH_6}, ${CMAKE_MATCH_7}")
    if(CMAKE_MATCH_2 STREQUAL "ListBox")
        # No data: the program keeps the rows and draws them, so a million entries list at once.
        set(line "CONTROL \"\", ${id}, \"ListBox\", LBS_NODATA | LBS_OWNERDRAWFIXED | LBS_EXTENDEDSEL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_WANTKEYBOARDINPUT | WS_VSCROLL | WS_BORDER | WS_TABSTOP, ${rect}")
    elseif(CMAKE_MATCH_2 STREQUAL "PushButton")
        set(line "PUSHBUTTON \"${text}\", ${id}, ${rect}")
    elseif(CMAKE_MATCH_2 STREQUAL "StaticText")
        set(line "LTEXT \"${text}\", ${id}, ${rect}, SS_NOPREFIX")
    elseif(CMAKE_MATCH_2 STREQUAL "ComboBox")
        set(line "COMBOBOX ${id}, ${rect}, CBS_DROPDOWNLIST | CBS_SORT | CBS_UPPERCASE | WS_VSCROLL | WS_TABSTOP")
    elseif(CMAKE_MATCH_2 STREQUAL "EditBox")
        set(line "EDITTEXT ${id}, ${rect}, ES_AUTOHSCROLL")
    else()
        message(FATAL_ERROR "No resource statement for ControlKind::${CMAKE_MATCH_2}")
    endif()
    string(APPEND DIALOG_CONTROLS "    ${line}\n")
endforeach()
list(LENGTH rows count)
if(count EQUAL 0)
    message(FATAL_ERROR "${HEADER} lists no controls")
endif()

configure_file(${TEMPLATE} ${OUT} @ONLY)

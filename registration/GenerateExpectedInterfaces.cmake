# Writes the table of interfaces whose marshalling registration Office needs, from the
# type library's IDL: every interface and dispinterface it defines, but for the ones Office
# never marshals through this library, ordered by name as upper case text (so "_" after
# the letters). The table is then never out of step with the library.
# Usage: cmake -DIDL=<idl> -DOUTPUT=<cpp> -P GenerateExpectedInterfaces.cmake
cmake_minimum_required(VERSION 3.21)
set(never_marshalled
  IUCCVideoWindow ITVXExtensionProviderClassFactory ILog ITransaction IProviderManagement IPhone
  IIMAndPresence IContact _IContactEvents IContacts IPresenceState _IIMAndPresenceEvents
  IEventListenerManager IClassFactory)

file(READ "${IDL}" idl)
# CMake's lists split at ";" and treat square brackets as quotes: neither may stay.
string(REPLACE ";" " " idl "${idl}")
string(REPLACE "[" "<" idl "${idl}")
string(REPLACE "]" ">" idl "${idl}")
# An attribute list holding the uuid, then the definition's keyword and name.
string(REGEX MATCHALL "uuid\\([0-9A-Fa-f-]+\\)[^>]*>[ \t\r\n]*(dispinterface|interface)[ \t\r\n]+[A-Za-z_0-9]+"
       definitions "${idl}")
set(rows "")
foreach(definition ${definitions})
  string(REGEX MATCH "uuid\\(([0-9A-Fa-f-]+)\\)" ignored "${definition}")
  string(TOUPPER "${CMAKE_MATCH_1}" iid)
  string(REGEX MATCH "([A-Za-z_0-9]+)$" name "${definition}")
  if(NOT name IN_LIST never_marshalled)
    string(TOUPPER "${name}" key)
    # The blank sorts before every character of a name: a name before its longer relatives.
    list(APPEND rows "${key} ${iid} ${name}")
  endif()
endforeach()
list(SORT rows COMPARE STRING CASE SENSITIVE)
list(LENGTH rows count)
if(count EQUAL 0)
  message(FATAL_ERROR "no interface definitions found in ${IDL}")
endif()

set(text "// Generated from OfficeIntegrationLib.idl by registration/GenerateExpectedInterfaces.cmake.\n")
string(APPEND text "#include \"registration/ExpectedInterfaces.h\"\n\nnamespace Utils::Registry {\n\nnamespace {\n\n")
string(APPEND text "const ExpectedInterface kRows[] = {\n")
foreach(row ${rows})
  string(REPLACE " " ";" fields "${row}")
  list(GET fields 1 iid)
  list(GET fields 2 name)
  string(APPEND text "    {L\"{${iid}}\", L\"${name}\"},\n")
endforeach()
string(APPEND text "};\n\n} // namespace\n\nconst std::span<const ExpectedInterface> ExpectedInterfaces(kRows);\n\n")
string(APPEND text "} // namespace Utils::Registry\n")
file(WRITE "${OUTPUT}.new" "${text}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")

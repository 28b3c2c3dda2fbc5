#pragma once
// Borrowing the ODBC connection that the host's back-end library holds open: the library is
// loaded by name, its default-database accessor is called and the connection handle is read
// from the objects it returns, then adopted by a connection of ours.

#include <string>

namespace kubrix {

class TQelODBCConnection;

//! The back-end library's usual name.
inline constexpr const char* kDefaultBackEndLibrary = "BkEnd.dll";
//! The exported accessor of the back end's current database object.
inline constexpr const char* kBackEndGetDefaultSymbol = "?GetDefault@CDataBase7@@SAPAV1@XZ";
//! Offset of the pointer, in the database object, to the object that holds the handle.
inline constexpr std::size_t kBackEndInnerObjectOffset = 32;
//! Offset of the connection handle in that inner object (pointer-sized on 64-bit).
inline constexpr std::size_t kBackEndHandleOffset = 76;

//! Loads library, reads the handle and hands it to connection.AttachHandle. Each failure is
//! shown in an error message box (UiServices) and ends the attempt; nothing is raised.
void ConnectToBackEnd(TQelODBCConnection& connection, const std::string& library);

}  // namespace kubrix

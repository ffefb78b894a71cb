// MetaBase.xml in IIS 6's layout, read and written with XmlLite: one flat list of key elements under
// configuration/MBProperty, the hierarchy in each key's Location, the key type as the element name,
// properties the schema knows as attributes and every other one as a Custom element.
#pragma once

#include "MetaTree.h"

#include <windows.h>

#include <vector>

namespace iisadmin {

// Parses a whole file. XmlLite's own HRESULT when the text is not well-formed XML;
// HRESULT_FROM_WIN32(ERROR_INVALID_DATA) when it is XML but not a metabase this store can read.
HRESULT ReadMetabase(const BYTE* bytes, size_t size, Tree& tree);

// The whole tree as UTF-8 XML; volatile items are left out.
HRESULT WriteMetabase(const Tree& tree, std::vector<BYTE>& bytes);

} // namespace iisadmin

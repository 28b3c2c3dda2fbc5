#pragma once
// Comparison of two stored values of one field type (the value bytes after the flag
// byte), as the dataset's ordering and the tree order records. Text compares by the
// locale (Collation.h); numbers by value; byte strings byte by byte.

#include <cstdint>

#include "support/FieldTypes.h"
#include "support/ValueCodec.h"

namespace kubrix {

//! -1, 0 or 1 by the sign of first minus second. size is the field's Size. A double that
//! is NaN on either side gives -1.
int CompareFields(const void* first, const void* second, TFieldType type, int size, bool caseInsensitive);

//! The same order made total for sorting: NaN equals NaN and sorts before every number
//! (as it does when first), so that a sort never meets an inconsistent answer.
int CompareFieldsTotal(const void* first, const void* second, TFieldType type, int size, bool caseInsensitive);

//! The same on the values of a slot the codec describes (its length may exceed what the
//! type and size alone give, for text kept whole); total as in CompareFieldsTotal.
int CompareFieldValues(const void* first, const void* second, const TValueCodec& codec, bool caseInsensitive, bool total);

//! Whether CompareFields orders the type as text by the locale (so that collation keys
//! made once per value may stand in for it).
bool IsCollatedType(TFieldType type);

}  // namespace kubrix

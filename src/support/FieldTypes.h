#pragma once
// Field type and field kind numbers of the dataset framework; the numbers are stored
// (record layouts, field info strings), so they never change.

#include <cstdint>

namespace kubrix {

enum TFieldType : std::int32_t {
    ftUnknown = 0,
    ftString = 1,
    ftSmallint = 2,
    ftInteger = 3,
    ftWord = 4,
    ftBoolean = 5,
    ftFloat = 6,
    ftCurrency = 7,
    ftBCD = 8,
    ftDate = 9,
    ftTime = 10,
    ftDateTime = 11,
    ftBytes = 12,
    ftVarBytes = 13,
    ftAutoInc = 14,
    ftBlob = 15,
    ftMemo = 16,
    ftGraphic = 17,
    ftFmtMemo = 18,
    ftParadoxOle = 19,
    ftDBaseOle = 20,
    ftTypedBinary = 21,
    ftCursor = 22,
    ftFixedChar = 23,
    ftWideString = 24,
    ftLargeint = 25,
    ftADT = 26,
    ftArray = 27,
    ftReference = 28,
    ftDataSet = 29,
    ftOraBlob = 30,
    ftOraClob = 31,
    ftVariant = 32,
    ftInterface = 33,
    ftIDispatch = 34,
    ftGuid = 35,
    ftTimeStamp = 36,
    ftFMTBcd = 37,
};

enum TFieldKind : std::int32_t {
    fkData = 0,
    fkCalculated = 1,
    fkLookup = 2,
    fkInternalCalc = 3,
    fkAggregate = 4,
};

//! Dataset states.
enum TDataSetState : std::int32_t {
    dsInactive = 0,
    dsBrowse = 1,
    dsEdit = 2,
    dsInsert = 3,
    dsSetKey = 4,
    dsCalcFields = 5,
    dsFilter = 6,
    dsNewValue = 7,
    dsOldValue = 8,
    dsCurValue = 9,
    dsBlockRead = 10,
    dsInternalCalc = 11,
    dsOpening = 12,
};

}  // namespace kubrix

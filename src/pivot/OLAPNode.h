#pragma once
// A node of an axis tree (one value on the path of its ancestors' values) and the sums a
// vertical node holds per horizontal node.

#include <cstdint>
#include <memory>
#include <vector>

namespace kubrix {

class TOLAPValueEntry;

//! Sums of one vertical node: one entry per horizontal node that shares counted records
//! with it, sorted by Key (the horizontal node's OwnRow, -1 for the horizontal root).
class TOLAPSums {
public:
    explicit TOLAPSums(int fieldCount) : FieldCount(fieldCount) {}

    //! Sums per entry (the number of data fields).
    int FieldCount = 0;
    //! Entry keys, ascending.
    std::vector<std::int32_t> Keys;
    //! FieldCount sums per entry, entry after entry.
    std::vector<double> Values;

    int Count() const { return static_cast<int>(Keys.size()); }
    //! The sums of the entry with key, nullptr when there is none.
    const double* Find(std::int32_t key) const;
};

//! A node of an axis tree. Inner nodes hold child nodes, leaves the indices of their records.
class TOLAPNode {
public:
    //! Level of the root.
    static constexpr std::uint8_t kRootLevel = 255;

    //! 0 for values of the outermost field, 1 for the next, ...; 255 for the root.
    std::uint8_t Level = kRootLevel;
    //! The leaf level of its tree (the root of a tree without fields is a leaf).
    bool Leaf = false;
    //! Passes the value filter and has included records below.
    bool Visible = true;
    //! Some included record lies below (as of the last visibility pass).
    bool HasIncluded = true;
    //! The value (an entry of the level's field), nullptr for the root.
    TOLAPValueEntry* Entry = nullptr;
    //! Inner nodes: child nodes in the order of the next level's comparison.
    std::vector<TOLAPNode*> Children;
    //! Leaves: indices of the records with this value path, in record order.
    std::vector<std::int32_t> Records;
    TOLAPNode* Parent = nullptr;
    //! Row of the first node of its subtree.
    std::int32_t FirstRow = 0;
    //! Row that stands for the node when it is collapsed: its first visible leaf's.
    std::int32_t FirstVisibleRow = 0;
    //! Row of the last node of its subtree below itself; a leaf's own row.
    std::int32_t LastRow = 0;
    //! Its own row, -1 for the root.
    std::int32_t OwnRow = -1;
    //! Sums (vertical axis only), nullptr until computed.
    std::unique_ptr<TOLAPSums> Sums;

    bool IsRoot() const { return Parent == nullptr; }
};

}  // namespace kubrix

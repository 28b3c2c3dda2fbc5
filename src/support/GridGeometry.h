#pragma once

// Geometry of a grid of cells: how many rows and columns there are, how many of them are fixed at the
// top and left, and how tall or wide each one is. A size of 0 hides a line; hidden lines keep their
// index, so a layout can hide and show lines without renumbering. Positions are prefix sums kept in a
// Fenwick tree: the offset of a line and the line at an offset cost O(log n), so a grid of a million
// lines, most of them hidden, scrolls and paints without walking every line.
//
// No Qt here: the pivot model owns a geometry and writes it; the widget only reads it and listens.

#include <cstdint>
#include <functional>
#include <vector>

namespace kubrix {

class TGridGeometry;

//! What a change batch touched; a listener is called once per kind after the batch ends.
enum class TGridChange {
    RowsChanged,    //!< row heights changed
    ColsChanged,    //!< column widths changed
    CountsChanged,  //!< line counts or fixed counts changed (sizes may have changed too)
};

// One axis of a grid (the rows or the columns). Besides the actual size of each line it keeps a
// remembered size: a layout hides a line by writing 0 as its actual size and shows it again with the
// remembered one, so a width the user chose survives hiding.
class TGridAxis {
public:
    //! Upper bound on the line count: larger counts are refused rather than allocated.
    static constexpr int MaxCount = 100'000'000;
    //! Upper bound on one line's size in pixels.
    static constexpr int MaxSize = 1'000'000;

    explicit TGridAxis(int defaultSize);
    TGridAxis(const TGridAxis&) = delete;
    TGridAxis& operator=(const TGridAxis&) = delete;

    //! Number of lines.
    int Count() const { return static_cast<int>(Sizes.size()); }
    //! Changes the number of lines; new lines take the default size (actual and remembered). Fixed
    //! lines beyond the new count are dropped from the fixed count.
    void SetCount(int count);

    //! Number of lines at the start that never scroll.
    int FixedCount() const { return Fixed; }
    //! Sets the fixed count; it must lie in 0..Count().
    void SetFixedCount(int count);

    //! The size new lines take and that showing a line without a remembered size restores.
    int DefaultSize() const { return Default; }
    //! Sets the default size and gives every line (actual and remembered size) that size.
    void SetDefaultSize(int size);

    //! Actual size of a line (0 when hidden).
    int Size(int line) const;
    //! Sets a line's size as a user or a caller of the normal size property does: both the actual
    //! and the remembered size.
    void SetSize(int line, int size);
    //! Sets only the actual size, leaving the remembered one alone (how a layout hides and shows).
    void SetActualSize(int line, int size);
    //! Remembered size of a line.
    int SavedSize(int line) const;
    //! Sets only the remembered size (restoring a saved layout).
    void SetSavedSize(int line, int size);

    //! Hides a line: a non-zero actual size is remembered first, then the actual size becomes 0.
    void Hide(int line);
    //! Shows a line with its remembered size, or the default size when nothing is remembered.
    void Show(int line);
    //! Sets the actual size of lines first..last (inclusive) to size; O(n) for large ranges.
    void FillActual(int first, int last, int size);
    //! Sets the actual and remembered size of lines first..last (inclusive) to size.
    void FillSize(int first, int last, int size);

    //! True when the line's actual size is positive.
    bool Visible(int line) const { return Size(line) > 0; }

    //! Offset of the start of a line from the start of line 0; line may be Count() (total extent).
    std::int64_t Offset(int line) const;
    //! Sum of all actual sizes.
    std::int64_t Extent() const { return Offset(Count()); }
    //! Sum of the sizes of the fixed lines.
    std::int64_t FixedExtent() const { return Offset(Fixed); }
    //! The visible line that covers an offset: -1 for a negative offset, Count() at or past the end.
    int LineAt(std::int64_t offset) const;
    //! First visible line after line (line may be -1), or Count() when there is none.
    int NextVisible(int line) const;
    //! Last visible line before line (line may be Count()), or -1 when there is none.
    int PrevVisible(int line) const;

private:
    friend class TGridGeometry;

    void CheckLine(int line) const;
    static void CheckSize(int size);
    void WriteActual(int line, int size);
    void EnsureTree() const;
    void Touched(TGridChange kind);

    std::vector<int> Sizes;
    std::vector<int> Saved;
    int Default;
    int Fixed = 0;
    // Fenwick tree over Sizes (1-based); rebuilt lazily after bulk changes.
    mutable std::vector<std::int64_t> Tree;
    mutable bool TreeValid = false;
    TGridGeometry* Owner = nullptr;
    TGridChange Kind = TGridChange::RowsChanged;
};

// The rows and columns of a grid with change notification. Every change to an axis notifies the
// listeners, at once or, inside a BeginUpdate/EndUpdate bracket, once per kind when the bracket ends.
class TGridGeometry {
public:
    //! Defaults of a new grid: row height and column width in pixels.
    static constexpr int StdRowHeight = 18;
    static constexpr int StdColWidth = 64;

    using TListener = std::function<void(TGridChange)>;

    explicit TGridGeometry(int defaultRowHeight = StdRowHeight, int defaultColWidth = StdColWidth);
    TGridGeometry(const TGridGeometry&) = delete;
    TGridGeometry& operator=(const TGridGeometry&) = delete;

    //! Row heights and row counts.
    TGridAxis& Rows() { return RowAxis; }
    const TGridAxis& Rows() const { return RowAxis; }
    //! Column widths (with the remembered widths) and column counts.
    TGridAxis& Cols() { return ColAxis; }
    const TGridAxis& Cols() const { return ColAxis; }

    //! Registers a listener; returns an id for RemoveListener.
    int AddListener(TListener listener);
    //! Unregisters a listener; unknown ids are ignored.
    void RemoveListener(int id);

    //! Opens a change batch; brackets nest.
    void BeginUpdate() { ++UpdateLock; }
    //! Closes a change batch; the outermost one notifies each pending kind once.
    void EndUpdate();
    //! True inside a change batch.
    bool Updating() const { return UpdateLock > 0; }
    //! Reports a change (immediately, or at the end of the current batch).
    void Changed(TGridChange kind);

private:
    void Notify(TGridChange kind);

    TGridAxis RowAxis;
    TGridAxis ColAxis;
    int UpdateLock = 0;
    unsigned Pending = 0;  // bit per TGridChange
    int NextListenerId = 1;
    std::vector<std::pair<int, TListener>> Listeners;
};

// Keeps a geometry's change batch open for a scope.
class TGridUpdateGuard {
public:
    explicit TGridUpdateGuard(TGridGeometry& geometry) : Geometry(geometry) { Geometry.BeginUpdate(); }
    ~TGridUpdateGuard() { Geometry.EndUpdate(); }
    TGridUpdateGuard(const TGridUpdateGuard&) = delete;
    TGridUpdateGuard& operator=(const TGridUpdateGuard&) = delete;

private:
    TGridGeometry& Geometry;
};

}  // namespace kubrix

#include "support/GridGeometry.h"

#include <stdexcept>
#include <string>

namespace kubrix {

namespace {

// Highest power of two not above n (n > 0).
int HighBit(int n) {
    int bit = 1;
    while (bit <= n / 2) bit <<= 1;
    return bit;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// TGridAxis

TGridAxis::TGridAxis(int defaultSize) : Default(defaultSize) { CheckSize(defaultSize); }

void TGridAxis::CheckLine(int line) const {
    if (line < 0 || line >= Count())
        throw std::out_of_range("grid line " + std::to_string(line) + " out of range 0.." +
                                std::to_string(Count() - 1));
}

void TGridAxis::CheckSize(int size) {
    if (size < 0 || size > MaxSize)
        throw std::invalid_argument("grid line size " + std::to_string(size) + " out of range 0.." +
                                    std::to_string(MaxSize));
}

void TGridAxis::Touched(TGridChange kind) {
    if (Owner) Owner->Changed(kind);
}

void TGridAxis::SetCount(int count) {
    if (count < 0 || count > MaxCount)
        throw std::length_error("grid line count " + std::to_string(count) + " out of range 0.." +
                                std::to_string(MaxCount));
    if (count == Count()) return;
    Sizes.resize(static_cast<std::size_t>(count), Default);
    Saved.resize(static_cast<std::size_t>(count), Default);
    if (Fixed > count) Fixed = count;
    TreeValid = false;
    Touched(TGridChange::CountsChanged);
}

void TGridAxis::SetFixedCount(int count) {
    if (count < 0 || count > Count())
        throw std::out_of_range("fixed line count " + std::to_string(count) + " out of range 0.." +
                                std::to_string(Count()));
    if (count == Fixed) return;
    Fixed = count;
    Touched(TGridChange::CountsChanged);
}

void TGridAxis::SetDefaultSize(int size) {
    CheckSize(size);
    Default = size;
    Sizes.assign(Sizes.size(), size);
    Saved.assign(Saved.size(), size);
    TreeValid = false;
    Touched(Kind);
}

int TGridAxis::Size(int line) const {
    CheckLine(line);
    return Sizes[static_cast<std::size_t>(line)];
}

int TGridAxis::SavedSize(int line) const {
    CheckLine(line);
    return Saved[static_cast<std::size_t>(line)];
}

void TGridAxis::WriteActual(int line, int size) {
    int& slot = Sizes[static_cast<std::size_t>(line)];
    if (slot == size) return;
    if (TreeValid) {
        const std::int64_t delta = static_cast<std::int64_t>(size) - slot;
        const int n = Count();
        for (int i = line + 1; i <= n; i += i & -i) Tree[static_cast<std::size_t>(i)] += delta;
    }
    slot = size;
}

void TGridAxis::SetSize(int line, int size) {
    CheckLine(line);
    CheckSize(size);
    Saved[static_cast<std::size_t>(line)] = size;
    WriteActual(line, size);
    Touched(Kind);
}

void TGridAxis::SetActualSize(int line, int size) {
    CheckLine(line);
    CheckSize(size);
    if (Sizes[static_cast<std::size_t>(line)] == size) return;
    WriteActual(line, size);
    Touched(Kind);
}

void TGridAxis::SetSavedSize(int line, int size) {
    CheckLine(line);
    CheckSize(size);
    Saved[static_cast<std::size_t>(line)] = size;
}

void TGridAxis::Hide(int line) {
    CheckLine(line);
    const int size = Sizes[static_cast<std::size_t>(line)];
    if (size == 0) return;
    Saved[static_cast<std::size_t>(line)] = size;
    WriteActual(line, 0);
    Touched(Kind);
}

void TGridAxis::Show(int line) {
    CheckLine(line);
    const int saved = Saved[static_cast<std::size_t>(line)];
    SetActualSize(line, saved > 0 ? saved : Default);
}

void TGridAxis::FillActual(int first, int last, int size) {
    if (first > last) return;
    CheckLine(first);
    CheckLine(last);
    CheckSize(size);
    // A point update costs O(log n); past a few thousand lines rebuilding the tree once is cheaper.
    if (last - first + 1 > Count() / 16) TreeValid = false;
    for (int i = first; i <= last; ++i) WriteActual(i, size);
    Touched(Kind);
}

void TGridAxis::FillSize(int first, int last, int size) {
    if (first > last) return;
    CheckLine(first);
    CheckLine(last);
    CheckSize(size);
    for (int i = first; i <= last; ++i) Saved[static_cast<std::size_t>(i)] = size;
    FillActual(first, last, size);
}

void TGridAxis::EnsureTree() const {
    if (TreeValid) return;
    const int n = Count();
    Tree.assign(static_cast<std::size_t>(n) + 1, 0);
    for (int i = 1; i <= n; ++i) {
        Tree[static_cast<std::size_t>(i)] += Sizes[static_cast<std::size_t>(i - 1)];
        const int parent = i + (i & -i);
        if (parent <= n) Tree[static_cast<std::size_t>(parent)] += Tree[static_cast<std::size_t>(i)];
    }
    TreeValid = true;
}

std::int64_t TGridAxis::Offset(int line) const {
    if (line < 0 || line > Count())
        throw std::out_of_range("grid line " + std::to_string(line) + " out of range 0.." +
                                std::to_string(Count()));
    EnsureTree();
    std::int64_t sum = 0;
    for (int i = line; i > 0; i -= i & -i) sum += Tree[static_cast<std::size_t>(i)];
    return sum;
}

int TGridAxis::LineAt(std::int64_t offset) const {
    if (offset < 0) return -1;
    const int n = Count();
    if (n == 0) return 0;
    EnsureTree();
    // Descend the tree for the number of lines whose end lies at or before the offset; hidden lines
    // add nothing, so the line found next is the visible one that covers the offset.
    int pos = 0;
    std::int64_t rest = offset;
    for (int step = HighBit(n); step > 0; step >>= 1) {
        const int next = pos + step;
        if (next <= n && Tree[static_cast<std::size_t>(next)] <= rest) {
            pos = next;
            rest -= Tree[static_cast<std::size_t>(next)];
        }
    }
    return pos;
}

int TGridAxis::NextVisible(int line) const {
    if (line < -1) line = -1;
    if (line >= Count() - 1) return Count();
    return LineAt(Offset(line + 1));
}

int TGridAxis::PrevVisible(int line) const {
    if (line > Count()) line = Count();
    if (line <= 0) return -1;
    const std::int64_t start = Offset(line);
    return start == 0 ? -1 : LineAt(start - 1);
}

// ---------------------------------------------------------------------------------------------------
// TGridGeometry

TGridGeometry::TGridGeometry(int defaultRowHeight, int defaultColWidth)
    : RowAxis(defaultRowHeight), ColAxis(defaultColWidth) {
    RowAxis.Owner = this;
    RowAxis.Kind = TGridChange::RowsChanged;
    ColAxis.Owner = this;
    ColAxis.Kind = TGridChange::ColsChanged;
}

int TGridGeometry::AddListener(TListener listener) {
    const int id = NextListenerId++;
    Listeners.emplace_back(id, std::move(listener));
    return id;
}

void TGridGeometry::RemoveListener(int id) {
    for (auto it = Listeners.begin(); it != Listeners.end(); ++it) {
        if (it->first == id) {
            Listeners.erase(it);
            return;
        }
    }
}

void TGridGeometry::EndUpdate() {
    if (UpdateLock == 0) throw std::logic_error("grid geometry: EndUpdate without BeginUpdate");
    if (--UpdateLock > 0) return;
    const unsigned pending = Pending;
    Pending = 0;
    for (TGridChange kind : {TGridChange::CountsChanged, TGridChange::RowsChanged, TGridChange::ColsChanged})
        if (pending & (1u << static_cast<unsigned>(kind))) Notify(kind);
}

void TGridGeometry::Changed(TGridChange kind) {
    if (UpdateLock > 0)
        Pending |= 1u << static_cast<unsigned>(kind);
    else
        Notify(kind);
}

void TGridGeometry::Notify(TGridChange kind) {
    // A listener may add or remove listeners; call the ones registered when the change happened.
    const auto listeners = Listeners;
    for (const auto& entry : listeners) entry.second(kind);
}

}  // namespace kubrix

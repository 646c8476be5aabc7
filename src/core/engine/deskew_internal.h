#pragma once
// Working state of the skew estimator, shared by the files that implement it:
//   deskew_pool.cpp      block pool and bounds-checked tables
//   deskew_estimate.cpp  row scan, runs, column accumulators, segments, boxes
//   deskew_lines.cpp     the current and the candidate line
//   deskew_measure.cpp   line statistics, stretches and the angle of a point set
//   deskew_vertical.cpp  tall columns of equal boxes
// Everything lives for one estimate and is released in one piece when it ends.

#include "deskew.h"

#include <cstddef>
#include <cstdint>

namespace folvane::engine::deskew {

// Memory for boxes and tables, taken from blocks of at least kPoolBlockBytes and released
// together. Allocation fails (nullptr) once limitBytes are reserved or the system is short.
class BlockPool {
public:
    static constexpr size_t kPoolBlockBytes = 32768;

    explicit BlockPool(size_t limitBytes);
    ~BlockPool();
    BlockPool(const BlockPool&) = delete;
    BlockPool& operator=(const BlockPool&) = delete;

    // Zero-filled, aligned for any scalar type.
    void* allocate(size_t bytes);

private:
    struct Block;
    Block* m_blocks = nullptr;
    size_t m_reserved = 0;
    size_t m_limit;
};

// A fixed-size table from the pool whose reads outside its range give T{} and whose writes
// outside its range are dropped, so a malformed frame can never reach beyond it.
template <typename T>
class Table {
public:
    bool allocate(BlockPool& pool, int size)
    {
        if (size <= 0)
            return false;
        m_data = static_cast<T*>(pool.allocate(sizeof(T) * static_cast<size_t>(size)));
        m_size = m_data ? size : 0;
        return m_data != nullptr;
    }
    int size() const { return m_size; }
    bool contains(int i) const { return i >= 0 && i < m_size; }
    T get(int i) const { return contains(i) ? m_data[i] : T{}; }
    void set(int i, const T& value)
    {
        if (contains(i))
            m_data[i] = value;
    }
    // For callers that have checked the index themselves.
    T& operator[](int i) { return contains(i) ? m_data[i] : m_sink; }

private:
    T* m_data = nullptr;
    int m_size = 0;
    T m_sink{};
};

struct SkewBox {
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;
    int width = 0;  // x1 - x0 + 1
    int height = 0; // y1 - y0 + 1
    bool excluded = false;
    int order = 0;                 // insertion order in the candidate line
    SkewBox* next = nullptr;       // next box in x order (or downwards in a vertical chain)
    SkewBox* orderNext = nullptr;  // next box in insertion order (candidate line only)
};

// Boxes ordered by x. The candidate line also keeps its boxes in insertion order.
struct Chain {
    SkewBox* head = nullptr;
    SkewBox* tail = nullptr;
    int count = 0;
    SkewBox* orderHead = nullptr;
    SkewBox* orderTail = nullptr;
    int nextOrder = 0;
};

inline bool overlapsVertically(const SkewBox& a, const SkewBox& b)
{
    return !(a.y1 < b.y0) && !(b.y1 < a.y0);
}

enum class Placement { NotPlaced, Placed, Measured };
enum class Offer { TakenShort, TakenLong, FitsNeither };

struct Run {
    int start = 0;
    int length = 0;
    int gap = 0; // white pixels after the run
};

struct Segment {
    int first = 0;
    int width = 0;
    int peak = 0; // largest ink count of its columns
};

// What one estimate found; tests and the benchmark read it.
struct SkewReport {
    double angle = 0;
    float angleSum = 0;
    int measurements = 0;
    bool horizontalMeasured = false;
    bool verticalMeasured = false;
    int boxesMade = 0;
    int noiseErased = 0;
    bool workLimitReached = false;
};

// Same as estimateSkew, reporting the details.
double estimateSkew(const FrameView& frame, SkewReport* report);

// rotateFrame with a cap on its work memory; false when the frame was left unchanged.
bool rotateFrame(const FrameView& frame, double angle, size_t maxWorkBytes);

// True when the view describes readable 1-bit rows.
bool isBilevelFrame(const FrameView& frame);

inline constexpr int kMaxRuns = 389;
inline constexpr int kMaxSegments = 389;
inline constexpr int kSegmentTableSize = 400;
inline constexpr int kCutDistance = 48;
inline constexpr double kHalfPi = 1.5707964;

class SkewEstimator {
public:
    explicit SkewEstimator(const FrameView& frame);

    // False when the tables cannot be allocated (the estimate then measures nothing).
    bool prepare();
    // Runs the whole estimate once.
    double run(SkewReport* report);

    // Line building, reachable on its own so the placement rules can be checked directly.
    SkewBox* makeBox(int x0, int y0, int x1, int y1);
    Placement addToLine(SkewBox* box, bool mayEvaluate);
    const Chain& currentLine() const { return m_line; }
    const Chain& candidateLine() const { return m_candidate; }
    int measurements() const { return m_measurements; }
    float angleSum() const { return m_angleSum; }

private:
    // deskew_estimate.cpp
    void scanRows();
    void unpackRow(int y);
    void extractRuns();
    void recordRun(int start, int length, int gap);
    void markColumns(int from, int length, int y);
    void closeColumns(int from, int to, int y);
    void clearColumns(int from, int width);
    Placement examineSegment(const Segment& segment, int y);
    void evaluateOpenLines();

    // deskew_lines.cpp
    Placement placeInLine(SkewBox* box);
    Placement insertBetween(SkewBox* p, SkewBox* n, SkewBox* box);
    Placement joinRightNeighbour(SkewBox* p, SkewBox* n, SkewBox* box);
    Placement joinHead(SkewBox* box);
    Offer offerToCandidate(SkewBox* box);
    void addToCandidate(SkewBox* box);
    bool candidateIsLong() const;
    void promoteCandidate();
    void unlinkFromCandidate(SkewBox* box);
    void emptyLine();
    void dropBoxes(SkewBox* first, SkewBox* stop);
    void recountLine();
    SkewBox* walkToLastLeftOf(SkewBox* head, const SkewBox& box);
    void recycle(SkewBox* box);

    // deskew_measure.cpp
    bool evaluateLine();
    void evaluateVerticalChain();
    void measureStretch(SkewBox* first, SkewBox* stop, bool vertical);
    void addMeasurement(double theta, bool twice);

    // deskew_vertical.cpp
    bool startsVerticalStructure(const SkewBox& a, const SkewBox& b);
    bool followLine();
    void followBox(const SkewBox& start);
    void emptyVerticalChain();
    bool appendToVerticalChain(int x0, int y0, int x1, int y1);
    bool rowInkWithin(int y, int from, int to, int* inkFrom, int* inkTo);

    bool spend(int64_t work);
    bool workLeft() const { return m_work > 0; }

    const uint8_t* m_rows;
    std::ptrdiff_t m_stride;
    int m_width;  // pixels that hold data
    int m_W;      // width rounded up to a multiple of 32
    int m_H;
    int m_x0 = 0, m_y0 = 0, m_x1 = 0, m_y1 = 0;

    BlockPool m_pool;
    Table<uint8_t> m_rowBuffer;
    Table<Run> m_runs;
    int m_runCount = 0;
    Table<int> m_top;   // first ink row of each column; meaningful while its count is not 0
    Table<int> m_count; // ink rows of each column since it was last cleared
    Table<Segment> m_segments;
    int m_segmentCount = 0;

    Chain m_line;
    Chain m_candidate;
    Chain m_vertical;
    SkewBox* m_free = nullptr;

    float m_angleSum = 0;
    int m_measurements = 0;
    bool m_horizontalMeasured = false;
    bool m_verticalMeasured = false;
    int m_boxesMade = 0;
    int m_noiseErased = 0;
    int64_t m_work = 0;
    bool m_workLimitReached = false;
};

// Angle of the line through points fed one by one. With more than five points it is the arctangent
// of the mean of the running least-squares slopes over the first 2..n points (a step whose
// points all share one x counts as slope 100), which damps the pull of a few stray points at
// the start; with five or fewer it is the plain least-squares angle (a right angle when all x
// are equal).
class AngleFit {
public:
    void add(int x, int y);
    int count() const { return m_n; }
    double angle() const;

private:
    int m_n = 0;
    __int128 m_sx = 0, m_sy = 0, m_sxx = 0, m_sxy = 0; // wide enough for any frame size
    double m_slopeSum = 0;
};

} // namespace folvane::engine::deskew

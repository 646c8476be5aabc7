// Line building: boxes are strung into the current line when they touch its boxes vertically;
// boxes that do not fit start a candidate line (usually the next text line). Once the candidate
// is long enough, or a box fits neither, the current line is measured and the candidate takes
// its place.
#include "deskew_internal.h"

#include <algorithm>

namespace folvane::engine::deskew {

namespace {

void mergeInto(SkewBox& target, const SkewBox& box)
{
    target.x0 = std::min(target.x0, box.x0);
    target.y0 = std::min(target.y0, box.y0);
    target.x1 = std::max(target.x1, box.x1);
    target.y1 = std::max(target.y1, box.y1);
    target.width = target.x1 - target.x0 + 1;
    target.height = target.y1 - target.y0 + 1;
}

} // namespace

// The last box of the run of boxes from the head that lie entirely left of box (or the head
// itself when the head already reaches box).
SkewBox* SkewEstimator::walkToLastLeftOf(SkewBox* head, const SkewBox& box)
{
    SkewBox* p = head;
    int64_t steps = 0;
    while (p->x1 < box.x0 && p->next && p->next->x1 < box.x0) {
        p = p->next;
        ++steps;
    }
    spend(steps + 1);
    return p;
}

void SkewEstimator::dropBoxes(SkewBox* first, SkewBox* stop)
{
    while (first && first != stop) {
        SkewBox* next = first->next;
        recycle(first);
        first = next;
    }
}

void SkewEstimator::recountLine()
{
    int count = 0;
    SkewBox* last = nullptr;
    for (SkewBox* b = m_line.head; b; b = b->next) {
        ++count;
        last = b;
    }
    spend(count);
    m_line.count = count;
    m_line.tail = last;
}

void SkewEstimator::emptyLine()
{
    dropBoxes(m_line.head, nullptr);
    m_line = Chain{};
}

Placement SkewEstimator::addToLine(SkewBox* box, bool mayEvaluate)
{
    if (placeInLine(box) == Placement::Placed)
        return Placement::Placed;
    if (!mayEvaluate)
        return Placement::NotPlaced;

    const Offer offer = offerToCandidate(box);
    if (offer == Offer::TakenShort)
        return Placement::Placed;
    const bool evaluated = evaluateLine();
    if (evaluated && m_measurements != 0 && m_angleSum >= 2.0f) {
        if (offer == Offer::FitsNeither)
            recycle(box);
        return Placement::Measured;
    }
    emptyLine();
    promoteCandidate();
    if (offer == Offer::FitsNeither && offerToCandidate(box) == Offer::FitsNeither)
        recycle(box);
    return Placement::Placed;
}

Placement SkewEstimator::placeInLine(SkewBox* box)
{
    Chain& line = m_line;
    if (!line.head) {
        box->next = nullptr;
        line.head = line.tail = box;
        line.count = 1;
        return Placement::Placed;
    }
    if (box->x1 <= line.head->x0) {
        if (!overlapsVertically(*box, *line.head))
            return Placement::NotPlaced;
        box->next = line.head;
        line.head = box;
        ++line.count;
        return Placement::Placed;
    }
    SkewBox* p = walkToLastLeftOf(line.head, *box);
    if (p->x1 >= box->x0)
        return joinHead(box);
    SkewBox* n = p->next;
    if (!n) {
        if (!overlapsVertically(*box, *p))
            return Placement::NotPlaced;
        box->next = nullptr;
        p->next = box;
        line.tail = box;
        ++line.count;
        return Placement::Placed;
    }
    if (box->x1 < n->x0)
        return insertBetween(p, n, box);
    return joinRightNeighbour(p, n, box);
}

// box falls into the gap between p and its successor n. A box that touches only one side and
// lies close to the other is taken as the start (or end) of a line that continues on that side
// only, so the part of the line it does not touch is cut away.
Placement SkewEstimator::insertBetween(SkewBox* p, SkewBox* n, SkewBox* box)
{
    const bool touchesP = overlapsVertically(*box, *p);
    const bool touchesN = overlapsVertically(*box, *n);
    if (!touchesP && !touchesN)
        return Placement::NotPlaced;
    if (!touchesP && box->x0 - p->x1 < kCutDistance) {
        dropBoxes(m_line.head, n);
        m_line.head = box;
        box->next = n;
        recountLine();
        return Placement::Placed;
    }
    if (!touchesN && n->x0 - box->x1 < kCutDistance) {
        dropBoxes(n, nullptr);
        p->next = box;
        box->next = nullptr;
        recountLine();
        return Placement::Placed;
    }
    p->next = box;
    box->next = n;
    ++m_line.count;
    return Placement::Placed;
}

// box overlaps n horizontally (p lies entirely left of box).
Placement SkewEstimator::joinRightNeighbour(SkewBox* p, SkewBox* n, SkewBox* box)
{
    if (overlapsVertically(*box, *n)) {
        mergeInto(*n, *box);
        recycle(box);
        return Placement::Placed;
    }
    if (startsVerticalStructure(*n, *box) && followLine()) {
        recycle(box);
        return Placement::Placed;
    }
    if (overlapsVertically(*box, *p)) {
        dropBoxes(n, nullptr);
        p->next = box;
        box->next = nullptr;
        recountLine();
        return Placement::Placed;
    }
    SkewBox* s = n->next;
    if (s && overlapsVertically(*box, *s)) {
        dropBoxes(m_line.head, s);
        m_line.head = box;
        box->next = s;
        recountLine();
        return Placement::Placed;
    }
    return Placement::NotPlaced;
}

// box overlaps the head horizontally.
Placement SkewEstimator::joinHead(SkewBox* box)
{
    SkewBox* head = m_line.head;
    if (overlapsVertically(*box, *head)) {
        mergeInto(*head, *box);
        recycle(box);
        return Placement::Placed;
    }
    if (startsVerticalStructure(*head, *box) && followLine()) {
        recycle(box);
        return Placement::Placed;
    }
    SkewBox* n = head->next;
    if (n && overlapsVertically(*box, *n)) {
        recycle(head);
        m_line.head = box;
        box->next = n; // the count stays: one box left, one came
        return Placement::Placed;
    }
    return Placement::NotPlaced;
}

void SkewEstimator::addToCandidate(SkewBox* box)
{
    Chain& c = m_candidate;
    box->order = c.nextOrder++;
    box->orderNext = nullptr;
    if (c.orderTail)
        c.orderTail->orderNext = box;
    else
        c.orderHead = box;
    c.orderTail = box;
    ++c.count;
}

// The candidate line takes box by the placement rules of the current line, without cutting.
Offer SkewEstimator::offerToCandidate(SkewBox* box)
{
    Chain& c = m_candidate;
    bool taken = false;
    if (!c.head) {
        box->next = nullptr;
        c.head = c.tail = box;
        addToCandidate(box);
        taken = true;
    } else if (box->x1 <= c.head->x0) {
        if (overlapsVertically(*box, *c.head)) {
            box->next = c.head;
            c.head = box;
            addToCandidate(box);
            taken = true;
        }
    } else {
        SkewBox* p = walkToLastLeftOf(c.head, *box);
        SkewBox* n = p->next;
        if (p->x1 >= box->x0) {
            if (overlapsVertically(*box, *p)) {
                mergeInto(*p, *box);
                recycle(box);
                taken = true;
            }
        } else if (!n) {
            if (overlapsVertically(*box, *p)) {
                box->next = nullptr;
                p->next = box;
                c.tail = box;
                addToCandidate(box);
                taken = true;
            }
        } else if (box->x1 < n->x0) {
            if (overlapsVertically(*box, *p) || overlapsVertically(*box, *n)) {
                p->next = box;
                box->next = n;
                addToCandidate(box);
                taken = true;
            }
        } else if (overlapsVertically(*box, *n)) {
            mergeInto(*n, *box);
            recycle(box);
            taken = true;
        }
    }
    if (!taken)
        return Offer::FitsNeither;
    return candidateIsLong() ? Offer::TakenLong : Offer::TakenShort;
}

// The candidate is long once it spans about half of the current line.
bool SkewEstimator::candidateIsLong() const
{
    if (!m_line.head || !m_candidate.head)
        return false;
    const int64_t lineExtent = int64_t(m_line.tail->x1) - m_line.head->x0 + 1;
    const int64_t candidateExtent = int64_t(m_candidate.tail->x1) - m_candidate.head->x0;
    return lineExtent < 2 * candidateExtent + 2;
}

void SkewEstimator::unlinkFromCandidate(SkewBox* box)
{
    Chain& c = m_candidate;
    SkewBox* prev = nullptr;
    SkewBox* b = c.head;
    int64_t steps = 0;
    while (b && b != box) {
        prev = b;
        b = b->next;
        ++steps;
    }
    spend(steps + 1);
    if (!b)
        return;
    if (prev)
        prev->next = box->next;
    else
        c.head = box->next;
    if (c.tail == box)
        c.tail = prev;
    box->next = nullptr;
    --c.count;
}

// Moves the candidate's boxes, oldest first, into the (empty) current line until one does not
// fit there.
void SkewEstimator::promoteCandidate()
{
    Chain& c = m_candidate;
    while (c.orderHead) {
        SkewBox* box = c.orderHead;
        c.orderHead = box->orderNext;
        if (!c.orderHead)
            c.orderTail = nullptr;
        box->orderNext = nullptr;
        unlinkFromCandidate(box);
        if (addToLine(box, false) != Placement::NotPlaced)
            continue;
        if (c.count == 0) {
            c = Chain{};
            box->next = nullptr;
            c.head = c.tail = box;
            addToCandidate(box);
            return;
        }
        recycle(box);
        c.nextOrder = 0;
        for (SkewBox* b = c.orderHead; b; b = b->orderNext)
            b->order = c.nextOrder++;
        return;
    }
    c = Chain{};
}

} // namespace folvane::engine::deskew

#pragma once

// What may be known of a row before it is asked: the answers of a run being
// continued, and answers the result store holds within the cache age. Every
// path that is about to ask for a row's PR or check consults this first
// (FormState::answerKnown), and a known answer is written into the row as a
// reply would be, without a request.
enum class RowQuery {
    Rank, // the PR cell
    Check, // the 访问 cell and its record
    Whole, // every part the run asks for (查询PR, 死链检测)
};

class KnownAnswers
{
public:
    virtual ~KnownAnswers() = default;
    // Whether answer() would answer; nothing is written.
    virtual bool knows(int row, RowQuery what) = 0;
    // Writes the known answer into the row, counted as a reply; false when
    // nothing is known.
    virtual bool answer(int row, RowQuery what) = 0;
};

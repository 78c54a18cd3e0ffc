#pragma once

#include <QtGlobal>

// Where the PR cell of a row gets its answer from. The walk and the re-query
// ask through this; a source writes and counts each row's answer as a
// ranking reply does (rankAnswered), whenever that answer comes.
class RankSource
{
public:
    virtual ~RankSource() = default;

    // A list has been built and its run starts: every row of it is known.
    virtual void listBuilt() = 0;
    // The walk's tick has reached row.
    virtual void queryRow(int row) = 0;
    // "重新查询" on row: asked again, whatever is known of it.
    virtual void requeryRow(int row) = 0;
    // Rows of the current list that wait for an answer the source has yet to
    // get, beyond the requests that requestsInFlight counts.
    virtual int rowsWaiting() const = 0;
    // Whether a row's answer waits for the walk's tick. A source that asks
    // nobody answers every row of a list once it is built, and the walk need
    // not go through the rows for it.
    virtual bool needsWalk() const { return true; }
};

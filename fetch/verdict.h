#pragma once

#include "fetch/fetchresult.h"

#include <QString>
#include <QtGlobal>

// How one fetch ended, as its engine saw it: everything the verdict reads.
struct TransferEnd
{
    // A stop was requested (Cancel, or the end of the application).
    bool stopped = false;
    // The fetch failed on this side for failure, whatever libcurl reported:
    // before any transfer (an invalid address, a name that does not resolve,
    // no memory) or while reading (a length that is no number).
    bool failed = false;
    FetchFailure failure = FetchFailure::Other;
    QString failureDetail;
    // libcurl's result (a CURLcode) and its own words.
    int curlResult = 0;
    QString errorText;
    // The system's error of the last socket call; 0 when there was none.
    long osErrno = 0;
    // Ended by the fetch for receiving nothing for its idle limit.
    bool idle = false;
    // Body bytes taken; reading stopped at the body cap.
    qint64 received = 0;
    bool bodyCut = false;
    // The address needed no lookup (written as numbers, or given by the
    // resolver seam): a failure to resolve it is a failure here.
    bool addressKnown = false;
    // The status of the last reply, 0 when none came.
    int finalStatus = 0;
    // libcurl gave up while a reply's head was being read.
    bool inHead = false;
    // Memory could be had when the fetch ended: a failure to allocate that
    // libcurl reports was then no shortage of this machine.
    bool memoryAtHand = true;
};

struct FetchVerdict
{
    bool success = false; // OnDoneString rather than OnError
    FetchFailure reason = FetchFailure::None; // a success may carry HttpStatus
    QString detail;
};

// The one rule that turns the end of a fetch into its outcome and reason. A
// body with any status succeeds (a status of 400 or more is still its
// reason); a stop, a failure on this side, a redirect loop and the
// whole-request limit fail a fetch whatever arrived. A shortage of this
// machine (Resources) is only ever said of this machine: what a server sent
// wrong is the server's.
FetchVerdict decideVerdict(const TransferEnd &end);

#pragma once

#include "survey/linkextract.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <variant>

// Reads the links of fetched pages on a thread of its own, so that a page
// that takes the parser's whole budget (seconds, hundreds of MB) never
// holds the thread that runs the window or the walk. One page at a time in
// the whole process, whatever the readers: the parser's memory bound is
// then the process's too. Each answer comes back on the reader's thread, in
// the order asked; none comes once the reader is gone or has forgotten what
// it was asked (forget()). Neither waits for a page being read.
class PageReader final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PageReader)

public:
    struct Page
    {
        QByteArray body; // as fetched; decoded by its charset on the reading thread
        QString contentType; // of the final reply
        QString siteUrl; // what internal and external are measured against
        QString pageUrl; // what the page's links are resolved against
    };
    // How the links are read: by the link pattern or by the HTML parser.
    struct Reading
    {
        LinkReader reader = LinkReader::Pattern;
        QString pattern;
    };
    // The links of a page, or the message of the error that kept it from
    // being read at all.
    template<typename Survey>
    using Answer = std::variant<Survey, QString>;

    explicit PageReader(QObject *parent = nullptr);

    // The note of a page cut at the body cap (bodyBytes read), for 状态:
    // "已截断：...".
    static QString cutNote(qsizetype bodyBytes);
    ~PageReader() override;

    // The links as values.
    void readLinks(Page page, Reading reading, std::function<void(Answer<PageSurvey>)> done);
    // The links as the survey's records.
    void readRecords(Page page, Reading reading, std::function<void(Answer<LinkSurvey>)> done);
    // Drops every answer not yet handed over, and the pages not yet started.
    void forget();
    // Pages asked and not answered yet.
    int pending() const { return m_pending; }

private:
    template<typename Survey>
    void read(Page page, Reading reading, std::function<void(Answer<Survey>)> done);

    // Bumped by forget(): a page of an earlier generation is not read, and
    // its answer is dropped. Shared with the reading thread.
    std::shared_ptr<std::atomic<quint64>> m_generation = std::make_shared<std::atomic<quint64>>(0);
    int m_pending = 0;
};

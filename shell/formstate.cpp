#include "shell/formstate.h"

#include "shell/ranksource.h"

namespace {

// The source of a state that has been given none: it answers nothing.
class NoRankSource final : public RankSource
{
public:
    void listBuilt() override { }
    void queryRow(int) override { }
    void requeryRow(int) override { }
    int rowsWaiting() const override { return 0; }
};

} // namespace

FormState::FormState(QObject *parent)
    : QObject(parent)
    , m_lbl2(QStringLiteral("数量(0)"))
    , m_lbl5(QStringLiteral("死链=(0)"))
    , m_lblBlocked(QStringLiteral("存疑=(0)"))
    , m_lbl13(QStringLiteral("提示：输入网址开始PR整站查询"))
    , m_rankSource(std::make_unique<NoRankSource>())
{
    pr1.setMaximum(100);
    pr1.setValue(0);
    tmr2.setInterval(1000);
    tmr2.setSingleShot(false);
    // The interval paces the ranking service; a coarse timer may drift 5%.
    tmr2.setTimerType(Qt::PreciseTimer);
}

FormState::~FormState() = default;

void FormState::setLbl2(const QString &text)
{
    m_lbl2 = text;
    emit lbl2Changed(text);
}

void FormState::setLbl5(const QString &text)
{
    m_lbl5 = text;
    emit lbl5Changed(text);
}

void FormState::setLblBlocked(const QString &text)
{
    m_lblBlocked = text;
    emit lblBlockedChanged(text);
}

void FormState::setLbl13(const QString &text)
{
    m_lbl13 = text;
    m_lbl13ShowsRequest = false;
    emit lbl13Changed(text);
    emit noticeShown(text);
}

void FormState::showRequestStart(const QString &url)
{
    m_lbl13 = QStringLiteral("正在查询：") + url;
    m_lbl13ShowsRequest = true;
    emit lbl13Changed(m_lbl13);
}

void FormState::setRankSource(std::unique_ptr<RankSource> source)
{
    m_rankSource = source ? std::move(source) : std::make_unique<NoRankSource>();
}

bool FormState::answerKnown(int row, RowQuery what)
{
    return knownAnswers && lv1.hasRow(row) && knownAnswers->answer(row, what);
}

bool FormState::knowsAnswer(int row, RowQuery what) const
{
    return knownAnswers && lv1.hasRow(row) && knownAnswers->knows(row, what);
}

bool FormState::checkIntercepted(int row) const
{
    for (const CheckInterceptor &intercept : m_checkInterceptors) {
        if (intercept(row))
            return true;
    }
    return knownAnswers && lv1.hasRow(row) && knownAnswers->answer(row, RowQuery::Check);
}

void FormState::repaintList()
{
    emit repaintRequested();
}

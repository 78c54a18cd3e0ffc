#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>

// Where a fetch learns the address of a host name before libcurl would look
// it up. The process has one; by default it leaves every name to the system's
// resolver. Addresses written as numbers never reach it.
class HostResolver
{
public:
    struct Answer
    {
        enum class Kind {
            System, // libcurl asks the system's resolver
            Address, // connect to address, with no lookup
            NotFound, // the name does not resolve; nothing is looked up
        };
        Kind kind = Kind::System;
        QByteArray address; // numeric, for Address
    };

    virtual ~HostResolver() = default;
    // Called on the thread of the fetch's engine: must be safe to call from
    // any thread, and must not wait long (the shared engine runs many fetches
    // on that thread).
    virtual Answer resolve(const QString &host) const = 0;

    // The resolver of the process, and its replacement. Installing nullptr
    // restores the system's. Returns the one that was installed. A fetch
    // reads it when its worker starts, so only later fetches see a change.
    static std::shared_ptr<const HostResolver> current();
    static std::shared_ptr<const HostResolver> install(std::shared_ptr<const HostResolver> resolver);
};

// The system's resolver, through libcurl.
class SystemHostResolver final : public HostResolver
{
public:
    Answer resolve(const QString &) const override { return {}; }
};

// A fixed table of names (compared without regard to letter case) and their
// numeric addresses; every other name does not resolve. For runs that must
// never look a name up, such as tests.
class FixedHostResolver final : public HostResolver
{
public:
    explicit FixedHostResolver(const QHash<QString, QByteArray> &addresses);
    Answer resolve(const QString &host) const override;

private:
    QHash<QString, QByteArray> m_addresses; // by lower-case name
};

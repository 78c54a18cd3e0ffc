#include "fetch/hostresolver.h"

#include <mutex>

namespace {

std::mutex g_mutex;
std::shared_ptr<const HostResolver> g_resolver;

} // namespace

std::shared_ptr<const HostResolver> HostResolver::current()
{
    static const auto system = std::make_shared<const SystemHostResolver>();
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_resolver ? g_resolver : system;
}

std::shared_ptr<const HostResolver> HostResolver::install(std::shared_ptr<const HostResolver> resolver)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    std::swap(g_resolver, resolver);
    return resolver;
}

FixedHostResolver::FixedHostResolver(const QHash<QString, QByteArray> &addresses)
{
    for (auto it = addresses.begin(); it != addresses.end(); ++it)
        m_addresses.insert(it.key().toLower(), it.value());
}

HostResolver::Answer FixedHostResolver::resolve(const QString &host) const
{
    const auto it = m_addresses.constFind(host.toLower());
    if (it == m_addresses.constEnd())
        return {Answer::Kind::NotFound, {}};
    return {Answer::Kind::Address, *it};
}

#include "fakeregistry.h"

QString FakeRegistry::normalise(const QString &path)
{
    return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts).join(QLatin1Char('\\')).toLower();
}

bool FakeRegistry::refused(const QString &normalised) const
{
    if (refuseWritesBelow.isEmpty())
        return false;
    const QString below = normalise(refuseWritesBelow);
    return normalised == below || normalised.startsWith(below + QLatin1Char('\\'));
}

bool FakeRegistry::keyExists(platform::RegistryRoot, const QString &path) const
{
    const QString key = normalise(path);
    return key.isEmpty() || m_keys.contains(key);
}

bool FakeRegistry::createKey(platform::RegistryRoot, const QString &path)
{
    const QString key = normalise(path);
    if (key.isEmpty())
        return true;
    if (refused(key))
        return false;
    const QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (qsizetype depth = 1; depth <= parts.size(); ++depth) {
        const QString partial = parts.mid(0, depth).join(QLatin1Char('\\'));
        if (!m_keys.contains(partial.toLower()))
            m_keys.insert(partial.toLower(), {partial, std::nullopt});
    }
    return true;
}

std::optional<QString> FakeRegistry::defaultValue(platform::RegistryRoot, const QString &path) const
{
    const auto it = m_keys.constFind(normalise(path));
    if (it == m_keys.cend())
        return std::nullopt;
    return it->value;
}

bool FakeRegistry::setDefaultValue(platform::RegistryRoot root, const QString &path, qint32 type, const QString &value)
{
    if (type != platform::kRegSz || normalise(path).isEmpty() || !createKey(root, path))
        return false;
    m_keys[normalise(path)].value = value;
    return true;
}

bool FakeRegistry::deleteKey(platform::RegistryRoot, const QString &path)
{
    const QString key = normalise(path);
    if (key.isEmpty() || !m_keys.contains(key))
        return false;
    for (auto it = m_keys.cbegin(); it != m_keys.cend(); ++it) {
        if (it.key().startsWith(key + QLatin1Char('\\')))
            return false;
    }
    m_keys.remove(key);
    ++deletions;
    return true;
}

QStringList FakeRegistry::dump() const
{
    QStringList lines;
    for (const Key &key : m_keys)
        lines.append(key.value ? key.path + QLatin1Char('=') + *key.value : key.path);
    return lines;
}

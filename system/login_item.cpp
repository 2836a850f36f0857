#include "system/login_item.h"

#include "base/log.h"

namespace hg {

bool LoginItem::isRegistered() const
{
    if (!m_service.runsFromInstalledLocation())
        return false;
    const LoginItemService::Status status = m_service.status();
    return status == LoginItemService::Status::enabled || status == LoginItemService::Status::requiresApproval;
}

bool LoginItem::apply(bool wanted)
{
    if (!m_service.runsFromInstalledLocation())
        return false;
    if (wanted == isRegistered())
        return true;
    const std::optional<std::string> error = wanted ? m_service.registerItem() : m_service.unregisterItem();
    if (!error)
        return true;
    logLine(std::string(kLoginItemFailurePrefix) + *error);
    return false;
}

} // namespace hg

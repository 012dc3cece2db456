#include "UserGrant.h"

UserGrant::UserGrant(UserAllowance allowance)
    : m_left(allowance)
    , m_until(LifetimeMs)
{ }

bool UserGrant::allows(Effect effect) const
{
    return !m_until.hasExpired() && left(m_left, effect) > 0;
}

bool UserGrant::take(Effect effect)
{
    if (!allows(effect))
        return false;
    --left(m_left, effect);
    return true;
}

#pragma once

#include "client/com/Atl.h"

#include "OfficeIntegrationLib.h"

// The contact manager's connection point. Sinks may advise and unadvise, but there are
// no groups or search providers to report on, so nothing is ever fired.
template <class T>
class UCCContactManagerEventsProxy : public orvex::com::IConnectionPointImpl<T, &DIID__IUCCContactManagerEvents> {};

// Health and readiness for a proxy or a load balancer (GET /healthz, GET /readyz), the
// drain that SIGTERM starts, and systemd's notifications (ready, stopping, the
// watchdog's pings, which come only while the server answers its own /healthz).
#pragma once
#include <span>
#include <thread>

#include "routes/route_kit.h"

namespace board {

// Null when the board may be sent new work, else why not: draining, the database not
// answering (as the watch last saw it), or no verifier to take a submission.
const char* NotReady(Context* ctx);

// GET /healthz (the process answers) and GET /readyz (NotReady), answered on the thread
// that read the request: plain text, never kept by a proxy.
std::span<const Route> HealthRoutes();

// Ready goes false at once and new posts are refused (503, Retry-After); what is in hand
// goes on. Tells systemd the service is stopping.
void StartDrain(Context* ctx);

// Whether no post is in hand any more (its verification waiting or running, its answer
// being made).
bool Drained(const Context& ctx);

// systemd (Type=notify): READY=1 once serving; nothing when not started by systemd.
void NotifyReady();

// When systemd's watchdog is on for this service: a thread that asks the server's own
// /healthz over loopback every half interval and pings the watchdog only when it was
// answered, so a server that stopped answering is restarted. Ends when the drain starts.
std::thread StartWatchdog(Context* ctx, int port);

}  // namespace board

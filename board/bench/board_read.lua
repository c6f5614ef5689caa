-- Readers: the page, all boards, and single boards of every mode, in turn.
local paths = {"/", "/api/boards"}
for _, f in ipairs({10, 30, 100, 1000}) do
  for s = 1, 4 do
    paths[#paths + 1] = "/api/boards/" .. f .. "/" .. s .. "?limit=10"
  end
end
local n = 0
local pause_ms = 0
-- wrk ... -- PAUSE_MS: each connection waits that long between its requests, so that
-- 200 connections make a steady rate (200 / PAUSE_MS * 1000 a second) rather than as
-- many as the server can take.
init = function(args)
  pause_ms = tonumber(args[1] or "0")
end
delay = function()
  return pause_ms
end
request = function()
  n = n + 1
  return wrk.format("GET", paths[(n % #paths) + 1])
end
done = function(summary, latency, requests)
  io.write(string.format("reads: %d requests, %d errors, %.0f req/s, p50 %.2f ms, p99 %.2f ms\n",
    summary.requests, summary.errors.status + summary.errors.connect + summary.errors.read +
    summary.errors.write + summary.errors.timeout,
    summary.requests / (summary.duration / 1e6),
    latency:percentile(50) / 1000, latency:percentile(99) / 1000))
end

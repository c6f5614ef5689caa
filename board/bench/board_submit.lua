-- Submitters: each request posts the next of the prepared replays (distinct rounds, so
-- each is verified); after the last they come round again (then answered 200
-- from the store; the script counts the runs stored to tell them apart).
local files = {}
local next_file = 1
init = function(args)
  local dir, count = args[1], tonumber(args[2])
  for i = 1, count do
    local f = assert(io.open(string.format("%s/v-%05d.zrp", dir, i), "rb"))
    files[#files + 1] = f:read("*a")
    f:close()
  end
  -- Threads start at different places in the list.
  next_file = (tonumber(args[3] or "0") % #files) + 1
end
-- Each request from an address of its own among a thousand (the server trusts the
-- proxy header here), as many players would send them: an address has one verification
-- pending at a time.
local sent = 0
request = function()
  local body = files[next_file]
  -- A name a round: a name is its first run's player's (later runs need its key), and
  -- the same round sent again under its name is answered 200.
  local name = "Bench%20" .. next_file
  next_file = next_file % #files + 1
  sent = sent + 1
  local player = string.format("10.%d.%d.%d", next_file % 7, math.floor(sent / 250) % 4, sent % 250 + 1)
  return wrk.format("POST", "/api/runs?name=" .. name, {["Content-Type"] = "application/octet-stream",
    ["X-Forwarded-For"] = player}, body)
end
done = function(summary, latency, requests)
  io.write(string.format("submissions: %d requests, %.1f req/s, p50 %.1f ms, p99 %.1f ms\n",
    summary.requests, summary.requests / (summary.duration / 1e6),
    latency:percentile(50) / 1000, latency:percentile(99) / 1000))
end

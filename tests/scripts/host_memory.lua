-- host.memory() accounts for every block plug-ins hold, by tag, and goes
-- back to zero when they let go.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local archive = T.path("m.zip")
T.pyzip(archive, {{"a.txt", "aaa"}})

T.case("nothing is held before anything is opened", function()
  local m = host.memory()
  T.eq(m.blocks, 0, "blocks")
  T.eq(m.bytes, 0, "bytes")
  T.eq(next(m.tags), nil, "tags")
end)

T.case("open archives and adapter handles show under their tags", function()
  zip.OpenArchive(1, archive)
  local f = assert(host.open(archive .. "/a.txt"))
  local m = host.memory()
  T.eq(m.tags.arc, 1, "archive record")
  T.eq(m.tags.zipfile, 1, "adapter file handle")
  T.ok(m.bytes > 0, "bytes counted")
  local sum = 0
  for _, n in pairs(m.tags) do sum = sum + n end
  T.eq(sum, m.blocks, "tags add up to the blocks")
  f:close()
  T.eq(host.memory().tags.zipfile, nil, "handle released")
  zip.CloseArchive(1)
  T.eq(host.memory().bytes, 0, "bytes back to zero")
end)

T.case("a file object collected without close releases its handle", function()
  local f = assert(host.open(archive .. "/a.txt"))
  T.eq(host.memory().tags.zipfile, 1, "held")
  f = nil
  collectgarbage()
  collectgarbage()
  T.eq(host.memory().blocks, 0, "released by the collector")
end)

T.case("an archive left open at exit is released by the host's shutdown", function()
  local script = T.path("leave.lua")
  T.writefile(script, string.format('require_plugin("zip"); zip.OpenArchive(1, %q); io.write("open")', archive))
  local out, ok = T.sh(string.format("'%s' '%s'", os.getenv("ORHOST") or "orhost", script))
  T.eq(ok, true, "status")
  T.eq(out, "open", "no report of leftover memory")
end)

T.finish()

-- Requests of the host's file layer go to the installed adapter first and
-- fall back to the real file system when it declines; the open options
-- reach the adapter as FOpen tags.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local archive = T.path("r.zip")
T.pyzip(archive, {{"docs/a.txt", "hello A"}, {"readme.txt", string.rep("R", 100)}})

T.case("a request an archive refuses names the archive, the entry and the reason", function()
  T.writefile(T.path("secret.txt"), "s")
  -- ZipCrypto's one-byte check lets one wrong password in 256 through:
  -- encrypt afresh until "bad" is refused when opening.
  for _ = 1, 8 do
    T.run("cd '" .. T.work .. "' && zip -q -P pw r.zip secret.txt")
    local f = host.open(archive .. "/secret.txt", "r", {password = "bad"})
    if not f then break end
    f:close()
  end
  local cases = {
    {host.open, {"/none.txt"}, "open none.txt: no such entry"},
    {host.readfile, {"/none.txt"}, "open none.txt: no such entry"},
    {host.open, {"/docs"}, "open docs: it is a folder"},
    {host.open, {"/secret.txt"}, "open secret.txt: it may need a password"},
    {host.open, {"/secret.txt", "r", {password = "bad"}}, "open secret.txt: wrong password"},
    {host.opendir, {"/docs/a.txt"}, "list docs/a.txt: it is not a folder"},
    {host.listdir, {"/none"}, "list none: no such entry"},
    {host.writefile, {"/new.txt", "x"}, "write new.txt: a scan is open on the archive", scan = true},
    {host.open, {"/readme.txt", "rw"}, "open readme.txt: a scan is open on the archive", scan = true},
  }
  for _, case in ipairs(cases) do
    local path = archive .. case[2][1]
    local d = case.scan and assert(host.opendir(archive .. "/docs"))
    local result, msg = case[1](path, table.unpack(case[2], 2))
    if d then d:close() end
    T.ok(not result, path .. " fails")
    T.eq(msg, path .. ": the archive " .. archive .. " refused to " .. case[3], "message")
  end
  T.eq(select(2, host.open(T.path("secret.txt/x"))), T.path("secret.txt/x") .. ": Not a directory", "not an archive")
end)

T.case("adapter calls are not counted by failio; the host's own calls are", function()
  local f = assert(host.open(archive .. "/w.txt", "w"))
  host.failio("write", 1)
  T.eq(f:write("abc"), f, "a write the adapter keeps in memory")
  T.eq(host.writefile(T.path("real.txt"), "x"), false, "the next real write fails")
  T.eq(f:close(), true, "close")
  host.failio("open", 1)
  T.eq(host.open(archive .. "/w.txt"), nil, "the adapter's own open of the archive fails")
  T.eq(host.readfile(archive .. "/w.txt"), "abc", "then it works")
end)

T.finish()

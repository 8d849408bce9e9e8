-- Requests of the host's file layer go to the installed adapter first and
-- fall back to the real file system when it declines; the open options
-- reach the adapter as FOpen tags.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local archive = T.path("r.zip")
T.pyzip(archive, {{"docs/a.txt", "hello A"}, {"readme.txt", string.rep("R", 100)}})

T.case("a path inside an archive is served by the adapter, others by the host", function()
  local f = assert(host.open(archive .. "/readme.txt"))
  T.eq(f:servedby(), "Zip", "inside the archive")
  T.eq(#f:read(1000), 100, "contents")
  f:close()
  local whole = assert(host.open(archive))
  T.eq(whole:servedby(), nil, "the archive file itself")
  whole:close()
  T.writefile(T.path("plain.txt"), "p")
  local plain = assert(host.open(T.path("plain.txt")))
  T.eq(plain:servedby(), nil, "a plain file")
  plain:close()
  T.eq(host.readfile(archive .. "/docs/a.txt"), "hello A", "readfile")
end)

T.case("a request an archive refuses names the archive, the entry and the reason", function()
  local archive = T.path("refusing.zip")
  T.pyzip(archive, {{"docs/a.txt", "hello A"}, {"readme.txt", "R"}})
  T.writefile(T.path("secret.txt"), "s")
  assert(select(2, T.sh("cd '" .. T.work .. "' && zip -q -P pw refusing.zip secret.txt")))
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

T.case("names the adapter allocates for full names are freed by the host", function()
  local f = assert(host.open(archive .. "/readme.txt"))
  T.eq(f:stat({fullname = true}).name, archive .. "/readme.txt", "file")
  f:close()
  T.eq(host.stat(archive .. "/docs/a.txt", {fullname = true}).name, archive .. "/docs/a.txt", "stat")
  T.eq(host.stat(archive .. "/docs/a.txt").size, 7, "stat without full name")
end)

T.case("object operations inside an archive; a move between archives gives -1", function()
  T.eq(host.writefile(archive .. "/new.txt", "n"), true, "write")
  T.eq(host.rename(archive .. "/new.txt", "old.txt"), true, "rename")
  T.eq(host.setattributes(archive .. "/old.txt", {time = "02-Mar-1999 04:05:06", comment = "c"}), true, "attributes")
  T.eq(host.stat(archive .. "/old.txt").time, "02-Mar-1999 04:05:06", "time")
  T.eq(host.mkdir(archive .. "/folder"), true, "mkdir")
  local ok, code = host.move(archive .. "/old.txt", T.path("other.zip") .. "/old.txt")
  T.eq(ok, false, "move between archives")
  T.eq(code, -1, "second result")
  T.eq(host.move(archive .. "/old.txt", archive .. "/folder/old.txt"), true, "move inside")
  T.eq(host.readfile(archive .. "/folder/old.txt"), "n", "moved")
end)

T.case("adapter calls are not counted by failio; the host's own calls are", function()
  local f = assert(host.open(archive .. "/w.txt", "w"))
  host.failio("write", 1)
  T.eq(f:write("abc"), 3, "a write the adapter keeps in memory")
  T.eq(host.writefile(T.path("real.txt"), "x"), false, "the next real write fails")
  T.eq(f:close(), true, "close")
  host.failio("open", 1)
  T.eq(host.open(archive .. "/w.txt"), nil, "the adapter's own open of the archive fails")
  T.eq(host.readfile(archive .. "/w.txt"), "abc", "then it works")
end)

T.finish()

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

T.case("directory scans inside an archive", function()
  local d = assert(host.opendir(archive))
  T.eq(d:servedby(), "Zip", "served by")
  local names = {}
  for info in function() return d:next() end do names[#names + 1] = info.name .. ":" .. info.type end
  T.eq(table.concat(names, ","), "docs:directory,readme.txt:file", "root listing")
  d:close()
  T.eq(#host.listdir(archive .. "/docs"), 1, "listdir of a folder in the archive")
end)

T.case("the archive's bytes can come from a string or another open file", function()
  local bytes = assert(host.readfile(archive))
  local f = assert(host.open("/elsewhere/any.zip/docs/a.txt", "r", {source = bytes}))
  T.eq(f:read(100), "hello A", "from a string")
  f:close()
  local src = assert(host.open(archive))
  local g = assert(host.open("/elsewhere/any.zip/readme.txt", "r", {sourcefile = src}))
  T.eq(src:close(), true, "the source file closes for the script")
  T.eq(#g:read(1000), 100, "the derived file still reads it")
  g:close()
end)

T.case("write options reach the adapter as user tags", function()
  local path = archive .. "/secret.txt"
  local f = assert(host.open(path, "w", {password = "pw", encryption = ZIP_EM_AES_256}))
  T.eq(f:write("top secret"), 10, "write")
  T.eq(f:close(), true, "close writes the archive")
  T.eq(host.open(path), nil, "no password")
  local g = assert(host.open(path, "r", {password = "pw"}))
  T.eq(g:read(100), "top secret", "with the password")
  g:close()
  T.eq(host.delete(path), true, "delete inside the archive")
end)

T.case("sequential mode refuses seeks other than rewinds", function()
  local f = assert(host.open(archive .. "/readme.txt", "r", {sequential = true}))
  T.eq(f:seek("set", 5), nil, "seek to 5")
  T.eq(f:seek("end", 0), 0, "seek to the end")
  T.eq(f:seek("set", 0), 100, "rewind reports the length")
  f:close()
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

T.case("renames inside an archive keep the entry's folder", function()
  T.eq(host.writefile(archive .. "/docs/r.txt", "r"), true, "nested file")
  T.eq(host.rename(archive .. "/docs/r.txt", "s.txt"), true, "nested rename")
  T.eq(host.readfile(archive .. "/docs/s.txt"), "r", "still in docs")
  T.eq(host.writefile(archive .. "/top.txt", "t"), true, "top-level file")
  T.eq(host.rename(archive .. "/top.txt", "upper.txt"), true, "top-level rename")
  T.eq(host.readfile(archive .. "/upper.txt"), "t", "still at the top")
  T.eq(host.delete(archive .. "/docs/s.txt"), true, "clean up")
  T.eq(host.delete(archive .. "/upper.txt"), true, "clean up")
end)

T.case("a host before 7.1 hands sources over through a temporary file", function()
  local tmp = T.path("tmp")
  os.execute("mkdir -p '" .. tmp .. "'")
  local code = string.format([[
    require_plugin("zip", {installadapter = true})
    local bytes = host.readfile(%q)
    local f = assert(host.open("/x/any.zip/docs/a.txt", "r", {source = bytes}))
    io.write(f:read(100))
    f:close()
    io.write(host.memory().blocks)
  ]], archive)
  local script = T.path("v70.lua")
  T.writefile(script, code)
  local out, ok = T.sh(string.format("TMPDIR='%s' '%s' --host-version 7.0 '%s'", tmp, os.getenv("ORHOST") or "orhost", script))
  T.eq(ok, true, "status: " .. out)
  T.eq(out, "hello A0", "output")
  T.eq(#host.listdir(tmp), 0, "the temporary file is gone")
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

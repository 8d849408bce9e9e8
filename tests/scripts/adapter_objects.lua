-- Stat, make directory, delete, rename, move and set attributes on paths
-- inside archives.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

-- The entry names of an archive, in order, joined by ",".
local function names(path) return T.zipeval(path, "','.join(z.namelist())") end

local function fresh(name, list)
  local p = T.path(name)
  T.pyzip(p, list or {{"docs/", ""}, {"docs/a.txt", "A"}, {"docs/img/b.png", "B"}, {"readme.txt", "R"}, {"src/main.c", "M"}})
  return p
end

T.case("mkdir, delete, rename and move: results and the names written", function()
  local ALL = "docs/,docs/a.txt,docs/img/b.png,readme.txt,src/main.c"
  local cases = {  -- operation, its paths (inside the archive), result, names after (ALL: unchanged)
    {host.mkdir, {"/docs"}, false, ALL}, {host.mkdir, {"/DOCS"}, false, ALL}, {host.mkdir, {"/README.TXT"}, false, ALL},
    {host.mkdir, {"/src"}, true, ALL .. ",src/"}, {host.mkdir, {""}, false, ALL},
    {host.delete, {"/docs"}, true, "docs/a.txt,docs/img/b.png,readme.txt,src/main.c"},  -- keeps what is inside
    {host.delete, {"/src"}, false, ALL}, {host.delete, {"/Readme.TXT"}, true, "docs/,docs/a.txt,docs/img/b.png,src/main.c"},
    {host.delete, {"/nothing"}, false, ALL},
    {host.rename, {"/docs/a.txt", "b.txt"}, true, "docs/,docs/b.txt,docs/img/b.png,readme.txt,src/main.c"},
    {host.rename, {"/readme.txt", "docs/x"}, false, ALL}, {host.rename, {"/readme.txt", ""}, false, ALL},
    {host.rename, {"/docs/a.txt", "img"}, false, ALL},  -- a file never shares a name with a folder
    {host.rename, {"/docs", "texts"}, true, "texts/,texts/a.txt,texts/img/b.png,readme.txt,src/main.c"},
    {host.rename, {"/src", "source"}, true, "docs/,docs/a.txt,docs/img/b.png,readme.txt,source/main.c"},
    {host.rename, {"/docs/img", "pictures"}, true, "docs/,docs/a.txt,docs/pictures/b.png,readme.txt,src/main.c"},
    {host.move, {"/readme.txt", "/docs/readme.txt"}, true, "docs/,docs/a.txt,docs/img/b.png,docs/readme.txt,src/main.c"},
    {host.move, {"/docs/img", "/images"}, true, "docs/,docs/a.txt,images/b.png,readme.txt,src/main.c"},
    {host.move, {"/docs/a.txt", "other"}, -1, ALL},  -- across archives
  }
  for i, c in ipairs(cases) do
    local p = fresh("ops" .. i .. ".zip")
    local args = {}
    for n, a in ipairs(c[2]) do args[n] = (n == 1 or a:sub(1, 1) == "/") and p .. a or a end
    if c[3] == -1 then args[2] = fresh("other.zip") .. "/a.txt" end
    local ok, code = c[1](table.unpack(args))
    T.eq(c[3] == -1 and code or ok, c[3], "case " .. i)
    T.eq(names(p), c[4], "names after case " .. i)
    T.unzipTest(p)
  end
  local p = T.path("made.zip")
  T.eq(host.mkdir(p .. "/newdir"), true, "mkdir inside a missing archive creates it")
  T.eq(names(p), "newdir/")
  T.eq(host.move(T.path("ops1.zip") .. "/readme.txt", T.path("plain.txt")), false, "no move to a plain path")
  local clash = fresh("clash.zip", {{"a/1", "x"}, {"a/2", "y"}, {"b/2", "z"}})
  local before = T.readfile(clash)
  T.eq(host.rename(clash .. "/a", "b"), false, "a directory rename that meets an existing name")
  T.ok(T.readfile(clash) == before, "changes nothing")
end)

T.case("a deletion while scanned happens exactly at the last release", function()
  local p = fresh("defer.zip")
  local root = assert(host.opendir(p))
  local child = assert(host.opendir(p .. "/docs"))
  local file = assert(host.open(p .. "/readme.txt"))
  T.eq(host.delete(p .. "/readme.txt"), true)
  T.eq(host.delete(p .. "/docs/a.txt"), true)
  T.eq(host.delete(p .. "/missing"), false)
  local before = "docs/,docs/a.txt,docs/img/b.png,readme.txt,src/main.c"
  T.eq(names(p), before)
  T.eq(file:read(5), "R", "still readable")
  root:close()
  T.eq(names(p), before)
  file:close()
  T.eq(names(p), before)
  child:close()
  T.eq(names(p), "docs/,docs/img/b.png,src/main.c")
  T.unzipTest(p)
end)

T.case("a deferred deletion finds its entry by name after the archive was rewritten", function()
  local p = fresh("rewritten.zip", {{"a", "1"}, {"b", "2"}, {"c", "3"}})
  local d = assert(host.opendir(p))
  T.eq(host.delete(p .. "/b"), true)
  -- a script removes the first entry meanwhile: b moves to index 0
  zip.OpenArchive(7, p, 1004)
  zip.DeleteFile(7, 0)
  zip.CloseArchive(7)
  d:close()
  T.eq(names(p), "c")
end)

T.case("set attributes: time, comment, both, and a refused comment", function()
  local p = fresh("attr.zip")
  T.eq(host.setattributes(p .. "/readme.txt", {comment = "a comment"}), true)
  T.eq(host.setattributes(p .. "/docs/a.txt", {time = "24-Dec-2000 18:30:00", comment = "both"}), true)
  T.eq(host.stat(p .. "/docs/a.txt").time, "24-Dec-2000 18:30:00")
  T.eq(host.setattributes(p .. "/docs/a.txt", {time = "01-Jan-2010 00:00:00", comment = string.rep("c", 65536)}), false)
  T.eq(host.stat(p .. "/docs/a.txt").time, "24-Dec-2000 18:30:00", "time untouched")
  T.eq(host.setattributes(p .. "/missing", {}), false, "nothing to set on a missing entry")
  zip.OpenArchive(8, p)
  T.eq(zip.GetFileComment(8, zip.LocateFile(8, "readme.txt")), "a comment")
  T.eq(zip.GetFileComment(8, zip.LocateFile(8, "docs/a.txt")), "both")
  zip.CloseArchive(8)
  T.unzipTest(p)
end)

T.case("changes other than deletions are refused while a scan is open", function()
  local p = fresh("busy.zip")
  local d = assert(host.opendir(p .. "/docs"))
  local before = T.readfile(p)
  T.eq(host.mkdir(p .. "/new"), false)
  T.eq(host.mkdir(T.work .. "/./busy.zip/new"), false, "another spelling of the archive")
  T.eq(host.rename(p .. "/readme.txt", "x"), false)
  T.eq(host.move(p .. "/readme.txt", p .. "/x"), false)
  T.eq(host.setattributes(p .. "/readme.txt", {comment = "x"}), false)
  T.ok(T.readfile(p) == before, "untouched")
  d:close()
end)

T.case("stat: files in any case, own and implicit directories, the archive itself", function()
  local p = fresh("stat.zip")
  local s = host.stat(p .. "/DOCS/A.TXT")
  T.eq(s.type, "file")
  T.eq(s.name, p .. "/docs/a.txt")
  T.eq(s.size, 1)
  T.eq(s.time, "17-May-2020 10:30:00")
  s = host.stat(p .. "/docs")
  T.eq(s.type, "directory")
  T.eq(s.name, p .. "/docs")
  T.eq(s.time, "17-May-2020 10:30:00")
  s = host.stat(p .. "/docs/")
  T.eq(s.type, "directory", "a trailing slash names the directory entry")
  s = host.stat(p .. "/src", {fullname = true})
  T.eq(s.type, "directory")
  T.eq(s.name, p .. "/src")
  T.eq(s.size, 0)
  T.eq(s.time:sub(8, 11), os.date("%Y"))
  T.eq(host.stat(p .. "/DOCS/img"), nil, "directories are case-sensitive")
  T.eq(host.stat(p .. "/nothing"), nil)
  local d = assert(host.opendir(p))
  T.eq(host.stat(p .. "/DOCS/A.TXT").name .. host.stat(p .. "/src").type, p .. "/docs/a.txtdirectory", "with a scan open")
  d:close()
  s = host.stat(p)
  T.eq(s.type, "file", "the archive file, by the host")
  T.eq(s.size, #T.readfile(p))
end)

T.finish()

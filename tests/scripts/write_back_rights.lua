-- What a write-back keeps of the file system's promises: who may write an
-- archive, its owner, group, mode, ACL and attributes, its links, its lock.
-- Other users are numeric ids run through setpriv (the test runs as root).
local T = require("testlib")
require_plugin("zip", {installadapter = true})

if T.sh("id -u") ~= "0\n" then
  print("SKIP: other users' cases need root to run as them")
  T.finish()
  return
end
local added = T.path("added.txt")
T.writefile(added, "mine")
local function sh(fmt, ...) return T.run(string.format(fmt, ...)) end
-- Runs code in orhost as user id with group id, a member of group too,
-- with argument path.
local function as(id, group, code, path)
  T.writefile(T.path("as.lua"), 'require_plugin("zip", {installadapter = true})\n' .. code)
  return T.sh(string.format("{ setpriv --reuid=%d --regid=%d --groups=%d '%s' '%s' '%s' 2>/dev/null; }", id, id,
                            group, T.orhost, T.path("as.lua"), path or ""))
end
local function attributes(p) return sh("stat -c '%%u:%%g %%a' '%s'; getfacl -cpn '%s'; getfattr -d '%s'", p, p, p) end
local rich = os.execute("setfacl -m u:65534:r '" .. added .. "' && setfattr -n user.tag -v t '" .. added .. "'")
if not rich then print("SKIP: this file system keeps no ACLs or extended attributes; their cases are skipped") end

T.case("write-backs need write permission on the archive, keep its owner, group, mode, ACL and attributes", function()
  local shared = T.path("shared")
  sh("mkdir -m 2775 '%s' && chgrp 1002 '%s'", shared, shared)
  local write = 'local ok, m = host.writefile(arg[1] .. "/b.txt", "B") print(ok, m)\n'
  local close = 'zip.OpenArchive(1, arg[1], 1004) zip.AddDirectory(1, "d") print(pcall(zip.CloseArchive, 1))\n'
  for i, c in ipairs({  -- owner, mode, ACL, writer, what it prints, mode after if not kept
    {"1000:1002", "4750", nil, 1000, "^true", "750"},  -- never set-id bits
    {"1001:1002", "644", nil, 1000, "false.*permission denied"},
    {"1000:1000", "444", nil, 1000, "false.*permission denied"},
    {"1001:1002", "664", nil, 1000, "false.*take it from its owner.*crash safety"},
    {"1000:1002", "660", "g::r,u:65534:rw,m::rw", 1000, "^true"},
    {"1001:1002", "660", "g::r,u:65534:rw,m::rw", 0, "^true"},
  }) do
    local p = string.format("%s/report%d.zip", shared, i)
    T.pyzip(p, {{"a", "A"}})
    sh("chown %s '%s' && chmod %s '%s'", c[1], p, c[2], p)
    if c[3] and rich then sh("setfacl -m %s '%s' && setfattr -n user.tag -v t '%s'", c[3], p, p) end
    local before, bytes = attributes(p):gsub(c[2], c[6] or c[2]), T.readfile(p)
    local out = as(c[4], 1002, write, p)
    T.ok(out:find(c[5]), "case " .. i .. ": " .. out)
    T.eq(attributes(p), before, "case " .. i .. " keeps")
    if c[5] == "^true" then
      T.eq(T.contents(p), "a=A,b.txt=B")
    else
      T.ok(T.readfile(p) == bytes, "case " .. i .. " wrote nothing")
      out = as(c[4], 1002, close .. 'print(zip.LocateFile(1, "d/"))', p)
      T.ok(out:find("false\tA zip error has occurred!\n1\n"), "case " .. i .. " close: " .. out)
    end
  end
  sh("mkdir -m 0300 '%s' && chown 1000 '%s'", T.path("closed"), T.path("closed"))
  T.pyzip(T.path("closed/c.zip"), {{"a", "A"}})
  sh("chown 1000 '%s'", T.path("closed/c.zip"))
  T.eq(as(1000, 1000, write, T.path("closed/c.zip")), "true\tnil\n", "a folder that cannot be read for its sync")
  T.eq(T.contents(T.path("closed/c.zip")), "a=A,b.txt=B")
end)

T.case("links: their target changes, in protected places only the safe ones, never dangling or looping", function()
  local real = T.path("links/real.zip")
  sh("mkdir -p '%s' && mkdir -m 1777 '%s'", T.path("links/in"), T.path("sticky"))
  T.pyzip(real, {{"a", "A"}})
  T.pyzip(T.path("sticky/theirs.zip"), {{"a", "A"}})
  sh("cd '%s' && ln -s ../real.zip in/rel.zip && ln -s in/rel.zip chain.zip && ln -s '%s' abs.zip", T.path("links"), real)
  sh("cd '%s' && ln -s nowhere.zip dangling.zip && ln -s loop.zip loop.zip && ln -s %s long.zip", T.path("links"),
     ("x"):rep(4000))
  sh("cd '%s' && ln -s theirs.zip mine.zip && ln -s theirs.zip evil.zip && chown -h 65534 evil.zip", T.path("sticky"))
  for _, c in ipairs({{"links/in/rel.zip", true}, {"links/chain.zip", true}, {"links/abs.zip", true},
                      {"sticky/mine.zip", true}, {"sticky/evil.zip", false}, {"links/dangling.zip", false},
                      {"links/loop.zip", false}, {"links/long.zip", false}}) do
    local link = c[1]
    T.eq(host.writefile(T.path(link) .. "/" .. link:gsub("/", "_"), "x"), c[2], link)
    T.ok(os.execute("test -L '" .. T.path(link) .. "'"), link .. " stays a link")
  end
  zip.OpenArchive(1, T.path("links/chain.zip"), 1004)
  zip.AddFile(1, added, {newname = "closed"})
  zip.CloseArchive(1)
  T.err(function() zip.OpenArchive(1, T.path("links/loop.zip"), 1004) end, nil)
  T.eq(T.contents(real), "a=A,links_in_rel.zip=x,links_chain.zip=x,links_abs.zip=x,closed=mine")
  T.eq(T.contents(T.path("sticky/theirs.zip")), "a=A,sticky_mine.zip=x")
  T.eq(sh("ls -A '%s'", T.path("links")), "abs.zip\nchain.zip\ndangling.zip\nin\nlong.zip\nloop.zip\nreal.zip\n", "nothing left beside")
end)

T.case("new archives never wait for each other; of two creators of one, the second fails", function()
  local new = function(name) return T.path("new/" .. name) end
  sh("mkdir -m 755 '%s'", T.path("new"))
  if rich then sh("setfacl -d -m u:65534:rwx '%s'", T.path("new")) end
  local inner
  zip.OpenArchive(1, new("c.zip"), 1006)
  zip.AddFile(1, added)
  zip.CloseArchive(1, 0, function()
    if inner ~= nil then return end
    zip.OpenArchive(2, new("d.zip"), 1006)
    zip.AddFile(2, added)
    zip.CloseArchive(2)
    inner = host.writefile(new("e.zip") .. "/x", "x")
  end)
  T.eq(inner, true, "a new archive closed and written from the close of another")
  for id = 1, 2 do
    zip.OpenArchive(id, new("f.zip"), 1006)
    zip.AddFile(id, added)
  end
  zip.CloseArchive(1)
  T.err(function() zip.CloseArchive(2) end, "A zip error has occurred!")
  zip.CloseArchive(2, 1)
  T.eq(sh("ls -A '%s'", T.path("new")), "c.zip\nd.zip\ne.zip\nf.zip\n", "nothing left beside")
  -- 0666 through the folder's default ACL (other r-x, named user rwx) or the umask
  local want = rich and "664" or string.format("%o", 438 & ~tonumber(T.sh("sh -c umask"), 8))
  T.eq(sh("stat -c %%a '%s'", new("e.zip")), want .. "\n", "new archive's mode")
  T.ok(not rich or sh("getfacl -cn '%s'", new("c.zip")):find("user:65534:rwx\t#effective:rw%-"), "default ACL")
end)

T.case("a held lock: one wait of 5 s, then the adapter says it is locked", function()
  local p = T.path("held.zip")
  T.pyzip(p, {{"a", "A"}})
  -- Holds the lock until killed; returns once it is held.
  local holder = sh("python3 -c 'import fcntl, sys, time; f = open(sys.argv[1]); fcntl.flock(f, fcntl.LOCK_EX); "
    .. "open(sys.argv[1] + \".held\", \"w\"); time.sleep(60)' '%s' >/dev/null 2>&1 & "
    .. "while [ ! -e '%s.held' ]; do sleep 0.05; done; echo $!", p, p)
  local function seconds() return tonumber(sh("date +%%s.%%N")) end
  local function waited(operation)
    local started = seconds()
    operation()
    return seconds() - started
  end
  local adapter = waited(function()
    local ok, message = host.writefile(p .. "/x", "x")
    T.ok(not ok and message:find("locked by another process"), tostring(message))
  end)
  zip.OpenArchive(1, p, 1004)
  zip.AddFile(1, added)
  local close = waited(function() T.err(function() zip.CloseArchive(1) end, "A zip error has occurred!") end)
  zip.CloseArchive(1, 1)
  sh("kill %d", tonumber(holder))
  T.ok(adapter > 4.5 and adapter < 8 and close > 4.5 and close < 8, "one wait each: " .. adapter .. ", " .. close)
end)

T.case("a killed writer leaves no file", function()
  local p = T.path("killed/k.zip")
  sh("mkdir '%s'", T.path("killed"))
  T.pyzip(p, {{"a", "A"}})
  as(0, 0, string.format('zip.OpenArchive(1, %q, 1004) zip.AddFile(1, %q) zip.CloseArchive(1, 0, function() os.exit(9) end)', p, added))
  T.eq(sh("ls -A '%s'", T.path("killed")), "k.zip\n")
  T.eq(T.contents(p), "a=A")
  -- Where /proc hides a process's files an unnamed file cannot be named: the write takes a named one.
  T.writefile(T.path("as.lua"), 'require_plugin("zip", {installadapter = true}) assert(host.writefile(arg[1] .. "/b", "B"))')
  sh("unshare -m sh -c 'mount -t tmpfs none /proc/$$/fd && exec \"%s\" \"%s\" \"%s\"'", T.orhost, T.path("as.lua"), p)
  T.eq(T.contents(p), "a=A,b=B", "written without /proc links")
  T.eq(sh("ls -A '%s'", T.path("killed")), "k.zip\n", "nothing left")
end)

T.finish()

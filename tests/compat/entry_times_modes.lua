-- Times and modes the module stores are the ones foreign readers see: a
-- time set on an entry of Info-ZIP or 7-Zip (whose extra fields carry a
-- time of their own) shows in unzip, python and 7z; times past 2107 are
-- refused; added files keep their own permission bits and extract without
-- world-writable modes.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local sh = T.run

local src = T.path("f.txt")
T.writefile(src, "dated data\n")
sh("touch -d '2015-06-01 10:00:00' '" .. src .. "'")

-- The first entry's time as unzip -l, python's zipfile and 7z l show it.
local function seenTimes(arc)
  local unzip = sh("unzip -l '" .. arc .. "'"):match("(%d%d%d%d%-%d%d%-%d%d %d%d:%d%d)")
  local python = T.zipeval(arc, "'%04d-%02d-%02d %02d:%02d' % z.infolist()[0].date_time[:5]")
  local sevenzip = sh("7z l -slt '" .. arc .. "'"):match("Modified = (%d+%-%d+%-%d+ %d+:%d+)")
  return {unzip, python, sevenzip}
end

local makers = {
  {"Info-ZIP (0x5455, 0x7875)", "cd '%s' && zip -q '%s' f.txt"},
  {"7-Zip (NTFS times)", "cd '%s' && 7z a -tzip -mtc=on '%s' f.txt >/dev/null"},
}
-- Each sets a new time on the entry and returns the time readers must see
-- (nil: the time of writing, which libzip takes from the new contents).
local setters = {
  {"zip.SetFileTime", function(arc)
    T.withArchive(arc, function() zip.SetFileTime(1, 0, "03-Mar-2001 04:05:06") end, 1004)
    return "2001-03-03 04:05"
  end},
  {"host.setattributes", function(arc)
    T.ok(host.setattributes(arc .. "/f.txt", {time = "03-Mar-2001 04:05:06"}), "set")
    return "2001-03-03 04:05"
  end},
  {"host.writefile over the entry", function(arc) T.ok(host.writefile(arc .. "/f.txt", "new"), "written") end},
}

for _, maker in ipairs(makers) do
  for _, setter in ipairs(setters) do
    T.case(setter[1] .. " on an entry made by " .. maker[1] .. " is what every reader sees", function()
      local arc = T.path("times.zip")
      os.remove(arc)
      sh(string.format(maker[2], T.work, arc))
      T.eq(seenTimes(arc)[1], "2015-06-01 10:00", "the file's time before")
      local want = setter[2](arc)
      local seen = seenTimes(arc)
      want = want or seen[2]
      T.ok(want ~= "2015-06-01 10:00", "a new time")
      for i = 1, 3 do T.eq(seen[i], want, "reader " .. i) end
    end)
  end
end

T.case("a time after 2107 is refused wherever it is set; one before 1980 is stored in 1980", function()
  local arc = T.path("range.zip")
  T.withArchive(arc, function()
    zip.AddFile(1, src)
    T.err(function() zip.SetFileTime(1, 0, "01-Jan-2108 00:00:00") end, "Invalid value!")
    T.err(function() zip.AddFile(1, src, {newname = "late", time = "32-Dec-2107 00:00:00"}) end, "Invalid value!")
    zip.AddFile(1, src, {newname = "last", time = "31-Dec-2107 23:59:58"})
    zip.AddFile(1, src, {newname = "early", time = "01-Jan-1978 12:00:00"})
  end, 1006)
  T.eq(host.setattributes(arc .. "/f.txt", {time = "01-Jan-2150 00:00:00"}), false, "adapter refuses 2150")
  T.readBack(arc, function()
    T.eq(zip.GetFileAttributes(2, 0).time, "01-Jun-2015 10:00:00", "the old time stays")
    T.eq(zip.GetFileAttributes(2, 1).time, "01-Jun-2015 10:00:00", "the refused time option leaves the file's")
    T.eq(zip.GetFileAttributes(2, 2).time, "31-Dec-2107 23:59:58", "the last time a ZIP date holds")
    T.eq(zip.GetFileAttributes(2, 3).time, "01-Jan-1980 12:00:00", "before 1980: the same day in 1980")
  end)
end)

T.case("entries keep their files' permission bits; directories 0755, new adapter files 0644", function()
  local arc, inner = T.path("modes.zip"), T.path("inner.zip")
  local private, script = T.path("private.txt"), T.path("run.sh")
  T.writefile(private, "mine")
  T.writefile(script, "#!/bin/sh\n")
  sh(string.format("chmod 0600 '%s' && chmod 4755 '%s' && chmod 0604 '%s'", private, script, src))
  T.ok(host.writefile(inner .. "/in.txt", "inside"), "a file inside another archive")
  T.withArchive(arc, function()
    zip.AddFile(1, private)
    zip.AddFile(1, script)
    zip.AddFile(1, inner .. "/in.txt")
    zip.AddDirectory(1, "dir")
  end, 1006)
  T.ok(host.mkdir(arc .. "/made"), "mkdir")
  T.ok(host.writefile(arc .. "/new.txt", "new"), "a new file")
  T.ok(host.writefile(arc .. "/private.txt", "rewritten"), "an overwritten file")
  local modes = T.zipeval(arc, "' '.join('%s=%o,%d' % (i.filename, i.external_attr >> 16, i.create_system) "
    .. "for i in z.infolist())")
  T.eq(modes, "private.txt=100600,3 run.sh=100755,3 in.txt=100644,3 dir/=40755,3 made/=40755,3 new.txt=100644,3", "modes")
  local out = T.path("out")
  sh(string.format("mkdir -p '%s' && cd '%s' && umask 0 && unzip -q '%s'", out, out, arc))
  T.eq(sh("cd '" .. out .. "' && stat -c '%a %n' private.txt new.txt made"), "600 private.txt\n644 new.txt\n755 made\n",
    "unzip creates what was stored")
end)

T.finish()

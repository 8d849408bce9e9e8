-- Every archive the adapter leaves behind extracts cleanly with unzip and
-- 7-Zip: an operation either does what a file system would or is refused
-- and leaves the archive as it was.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local BASE = {{"e/", ""}, {"e/x.txt", "X"}, {"f.txt", "F"}, {"imp/y.txt", "Y"}, {"Readme", "r"}, {"README", "R"},
  {"Data/x", "1"}, {"data/y", "2"}}

-- The entries of the archive at p, sorted, as "name=data" joined by " ".
local function listing(p) return T.zipeval(p, "' '.join(sorted(n + '=' + z.read(n).decode() for n in z.namelist()))") end

-- Extracts p into a fresh folder with unzip -d and with 7z x; both must
-- succeed without a complaint.
local function extractsCleanly(p, what)
  for _, cmd in ipairs({"unzip -q -o '%s' -d '%s'", "7z x -y -bd '%s' -o'%s' >/dev/null"}) do
    local into = T.path("out")
    os.execute("rm -rf '" .. into .. "'")
    local out, ok = T.sh(string.format(cmd, p, into))
    T.ok(ok and not out:find("[Ee]rror") and not out:find("warning"), what .. ": " .. cmd:match("^%S+") .. ": " .. out)
  end
end

-- {operation on archive a, its result, an entry it leaves ("name=data"; nil: the archive is unchanged)}
local cases = {
  {function(a) return host.writefile(a .. "/e", "d") end, false},
  {function(a) return host.writefile(a .. "/imp", "d") end, false},
  {function(a) return host.writefile(a .. "/E", "d") end, false},
  {function(a) return host.writefile(a .. "/e/", "d") end, false},
  {function(a) return host.writefile(a .. "/f.txt/sub", "d") end, false},
  {function(a) return host.mkdir(a .. "/f.txt/sub") end, false},
  {function(a) return host.rename(a .. "/f.txt", "e") end, false},
  {function(a) return host.rename(a .. "/e", "f.txt") end, false},
  {function(a) return host.move(a .. "/f.txt", a .. "/imp/y.txt/z") end, false},
  {function(a) return host.writefile(a .. "/../evil.txt", "d") end, false},
  {function(a) return host.writefile(a .. "/x/../../evil2.txt", "d") end, false},
  {function(a) return host.writefile(a .. "/x\\..\\..\\evil3.txt", "d") end, false},
  {function(a) return host.writefile(a .. "/x//y.txt", "d") end, false},
  {function(a) return host.mkdir(a .. "/./d") end, false},
  {function(a) return host.rename(a .. "/f.txt", "..") end, false},
  {function(a) return host.move(a .. "/f.txt", a .. "/e/../../f.txt") end, false},
  {function(a) return host.move(a .. "/e", a .. "/e/in") end, false},
  {function(a) return host.rename(a .. "/data", "Data") end, false},
  {function(a) return host.writefile(a .. "/README", "new") end, true, "README=new"},
  {function(a) return host.delete(a .. "/README") end, true, "Readme=r"},
  {function(a) return host.rename(a .. "/E/X.TXT", "w.txt") end, true, "e/w.txt=X"},
  {function(a) return host.rename(a .. "/data", "q") end, true, "q/y=2"},
  {function(a) return host.move(a .. "/f.txt", a .. "/e/f.txt") end, true, "e/f.txt=F"},
  {function(a) return host.move(a .. "/imp", a .. "/e/imp") end, true, "e/imp/y.txt=Y"},
  {function(a) return host.mkdir(a .. "/imp/new/") end, true, "imp/new/="},
  {function(a) return host.writefile(a .. "/e/n.txt", "n") end, true, "e/n.txt=n"},
}

T.case("each operation does what a file system would or is refused; the archive extracts", function()
  local a = T.path("a.zip")
  T.pyzip(a, BASE)
  local base = listing(a)
  for i, c in ipairs(cases) do
    T.pyzip(a, BASE)
    local result = c[1](a)
    local after = listing(a)
    T.eq(result, c[2], "result of case " .. i)
    if c[3] then
      T.ok((" " .. after .. " "):find(" " .. c[3] .. " ", 1, true), "case " .. i .. " leaves " .. c[3] .. ": " .. after)
    else
      T.eq(after, base, "case " .. i .. " leaves the archive")
    end
    extractsCleanly(a, "case " .. i)
  end
end)

T.finish()

# lib.sh: sourced by make_env.sh (the BIOS environment, KV.ima) and by
# ../efi/make_efi.sh (the UEFI boot files); what both build the same way:
#   env_start TOOL...     checks the tools, prepares the package cache and a
#                         staging folder ($stage, the initramfs tree $rootfs)
#   fetch SPEC            a Debian package, downloaded and unpacked into the
#                         cache; SPEC is NAME (the userland's architecture,
#                         i386) or NAME:ARCH
#   add_userland AGENT    busybox, wimlib-imagex, hivexsh, ntfs-3g, mkntfs, ntfslabel, ntfscp,
#                         their libraries, the GBK converter, the trimmed ICU
#                         data, /init and the agent as /bin/kavi-agent
#   add_kernel META [MODULE...]
#                         the kernel the meta package META depends on, and its
#                         storage, FUSE, FAT and code page modules (and the
#                         MODULEs named, as paths below kernel/ without .ko)
#                         as they come, signed where Debian signs them; sets
#                         $kver, $kernel_pkg and $ktree
#   write_initrd          $stage/initrd.xz from $rootfs
#   write_versions        $stage/versions.txt: "package version" of each used
# Packages are fetched with apt-get download and unpacked with dpkg-deb into
# KAVI_ROOT/build/restore-cache (kept by name and version, so a second build
# downloads nothing); nothing is installed on this machine.
# Callers set: here (their own folder), lib_dir (this folder).

root="${KAVI_ROOT:-$(cd "$lib_dir/../.." && pwd)}"
cache="$root/build/restore-cache"
arch=i386
die() { echo "$(basename "$0" .sh): $*" >&2; exit 1; }

# Package records, read with one apt-cache call per batch of names (each call
# costs a second: it reads all the package lists). A record is filed under the
# SPEC it was asked for: NAME for the userland's architecture, NAME:ARCH for
# another.
declare -A version_known depends_known
spec_name() { echo "${1%%:*}"; }
spec_arch() { case "$1" in *:*) echo "${1#*:}" ;; *) echo "$arch" ;; esac; }
learn() {
  local names=() spec name a version deps
  declare -A asked=()
  for spec in "$@"; do
    [ "$(spec_arch "$spec")" = "$arch" ] && spec="$(spec_name "$spec")"
    [ -n "${version_known[$spec]+x}" ] && continue
    names+=("$(spec_name "$spec"):$(spec_arch "$spec")")
    asked[$(spec_name "$spec")]+=" $spec"
    version_known[$spec]= # no such package unless apt-cache says otherwise
  done
  [ ${#names[@]} -gt 0 ] || return 0
  while IFS=$'\t' read -r name a version deps; do
    # A package of every architecture ("all") answers each spec of its name.
    for spec in ${asked[$name]:-}; do
      if [ "$a" = all ] || [ "$(spec_arch "$spec")" = "$a" ]; then
        version_known[$spec]="$version"
        depends_known[$spec]="$deps"
      fi
    done
  done < <(apt-cache show --no-all-versions "${names[@]}" 2>/dev/null | awk '
    /^Package: / { p = $2; a = ""; v = ""; d = "" }
    /^Architecture: / { a = $2 }
    /^Version: / { v = $2 }
    /^Depends: / { d = substr($0, 10) }
    /^$/ && p != "" { print p "\t" a "\t" v "\t" d; p = "" }
    END { if (p != "") print p "\t" a "\t" v "\t" d }')
}
canonical() { if [ "$(spec_arch "$1")" = "$arch" ]; then spec_name "$1"; else echo "$1"; fi; }
candidate() {
  local spec
  spec="$(canonical "$1")"
  learn "$spec"
  echo "${version_known[$spec]}"
}
# depends SPEC: the packages SPEC depends on (first of each alternative), by
# name.
depends() {
  local spec
  spec="$(canonical "$1")"
  learn "$spec"
  echo "${depends_known[$spec]:-}" | tr ',' '\n' |
    sed 's/|.*//; s/(.*)//; s/:any//; s/[[:space:]]//g' | grep -v '^$' || true
}

declare -A tree_of version_of used
fetched=()

# fetch SPEC: the candidate package SPEC, unpacked; sets tree_of[SPEC].
fetch() {
  local spec name parch version key deb tree dl kdir
  spec="$(canonical "$1")"
  [ -n "${tree_of[$spec]:-}" ] && return 0
  name="$(spec_name "$spec")"
  parch="$(spec_arch "$spec")"
  learn "$spec"
  version="${version_known[$spec]}"
  [ -n "$version" ] || die "no $parch package $name"
  # The userland's packages keep the key they always had in the cache.
  key="${name}_${version//:/%3a}"
  [ "$parch" = "$arch" ] || key="${key}_$parch"
  deb="$cache/debs/$key.deb"
  tree="$cache/trees/$key"
  if [ ! -s "$deb" ]; then
    dl="$(mktemp -d "$cache/dl.XXXXXX")"
    chmod 755 "$dl"
    (cd "$dl" && apt-get download -qq "$name:$parch=$version" 2>&1 | grep -v "unsandboxed" || true)
    mv "$dl"/*.deb "$deb" || die "apt-get download $name:$parch=$version failed"
    rm -rf "$dl"
  fi
  if [ ! -d "$tree" ]; then
    # Unpacked beside and renamed into place, so that a build running at the
    # same time never sees half a tree. A kernel gets its module index here.
    local part
    part="$(mktemp -d "$cache/trees/.part.XXXXXX")"
    dpkg-deb -x "$deb" "$part"
    for kdir in "$part"/lib/modules/*/; do
      [ -d "$kdir" ] && depmod -b "$part" "$(basename "$kdir")"
    done
    mv -T "$part" "$tree" 2>/dev/null || rm -rf "$part"
  fi
  tree_of[$spec]="$tree"
  version_of[$spec]="$version"
  fetched+=("$spec")
}

# env_start TOOL...: the tools this build needs besides the shared ones, the
# package lists, the cache and the staging folder.
env_start() {
  local tool
  for tool in apt-get apt-cache dpkg-deb readelf strip depmod xz python3 icupkg "$@"; do
    command -v "$tool" >/dev/null || die "needs $tool"
  done
  learn busybox-static wimtools libwim15 ntfs-3g libntfs-3g89 libc6
  if [ -z "$(candidate wimtools)" ]; then
    echo "$(basename "$0" .sh): no i386 package lists yet; running apt-get update"
    if [ "$(id -u)" -eq 0 ]; then apt-get update -qq; else sudo apt-get update -qq; fi
    version_known=()
    [ -n "$(candidate wimtools)" ] || die "no i386 packages (dpkg --add-architecture i386, then apt-get update)"
  fi
  mkdir -p "$cache/debs" "$cache/trees"
  stage="$(mktemp -d)"
  trap 'rm -rf "$stage"' EXIT
  rootfs="$stage/root"
  mkdir -p "$rootfs"/{bin,sbin,usr/bin,usr/sbin,dev,proc,sys,run,tmp,lib} "$rootfs/usr/lib/$arch-linux-gnu"
  chmod 1777 "$rootfs/tmp"
}

is_elf() { [ "$(head -c4 "$1" | od -An -c | tr -d ' ')" = '177ELF' ]; }

# put SPEC REL: copies REL of package SPEC's tree to the same place in the
# initramfs, and queues it for the library search.
declare -A placed owner
queue=()
put() {
  local spec="$1" rel="$2" src="${tree_of[$1]}/$2"
  [ -e "$src" ] || die "$spec has no /$rel"
  [ -n "${placed[$rel]:-}" ] && return 0
  mkdir -p "$rootfs/$(dirname "$rel")"
  if [ -L "$src" ]; then
    # Keep the link (the loader's name, a library's soname) and bring its
    # target from the same package.
    local target
    target="$(readlink "$src")"
    ln -s "$target" "$rootfs/$rel"
    placed[$rel]=1
    case "$target" in
      /*) put "$spec" "${target#/}" ;;
      *) put "$spec" "$(realpath -m -s "/$(dirname "$rel")/$target" | cut -c2-)" ;;
    esac
    return 0
  fi
  cp "$src" "$rootfs/$rel"
  placed[$rel]=1
  owner[$rel]="$spec"
  used[$spec]=1
  queue+=("$rel")
}

# find_lib SONAME: "SPEC PATH" of the first package fetched so far that has
# the library.
find_lib() {
  local soname="$1" spec dir
  for spec in "${fetched[@]}"; do
    for dir in lib/$arch-linux-gnu usr/lib/$arch-linux-gnu lib usr/lib; do
      if [ -e "${tree_of[$spec]}/$dir/$soname" ]; then
        echo "$spec $dir/$soname"
        return 0
      fi
    done
  done
  return 1
}

# add_userland AGENT: the programs, the agent, /init, and every shared
# library they need.
add_userland() {
  local agent="$1" p tool rel conf i file interp soname found deps dep lib
  [ -f "$agent" ] || die "no agent at $agent"
  for p in busybox-static wimtools libwim15 ntfs-3g libntfs-3g89 libhivex-bin libhivex0 libc6; do fetch "$p"; done
  put busybox-static bin/busybox
  ln -s busybox "$rootfs/bin/sh"
  put wimtools usr/bin/wimlib-imagex
  # The agent edits the boot manager's store (a registry hive) with it.
  put libhivex-bin usr/bin/hivexsh
  for tool in ntfs-3g mkntfs ntfslabel ntfscp; do
    rel="$(cd "${tree_of[ntfs-3g]}" && find bin sbin usr/bin usr/sbin -name "$tool" -type f 2>/dev/null | head -n1 || true)"
    [ -n "$rel" ] || die "ntfs-3g has no $tool"
    put ntfs-3g "$rel"
  done
  cp "$agent" "$rootfs/bin/kavi-agent"
  chmod 755 "$rootfs/bin/kavi-agent"
  # The build tree's agent carries its debug information; the machine needs none.
  if is_elf "$rootfs/bin/kavi-agent"; then strip "$rootfs/bin/kavi-agent"; fi
  placed[bin/kavi-agent]=1
  owner[bin/kavi-agent]=agent
  queue+=(bin/kavi-agent)
  install -m 755 "$lib_dir/init" "$rootfs/init"

  # glibc's converters for code page 936 and Latin-1 and the configuration
  # naming them.
  local gconv="usr/lib/$arch-linux-gnu/gconv"
  put libc6 "$gconv/GBK.so"
  # hivexsh (libhivex) reads key names through iconv from LATIN1.
  put libc6 "$gconv/ISO8859-1.so"
  put libc6 "$gconv/gconv-modules"
  for conf in "${tree_of[libc6]}/$gconv/gconv-modules.d"/*.conf; do
    [ -e "$conf" ] && put libc6 "$gconv/gconv-modules.d/$(basename "$conf")"
  done
  grep -qs '^module.*GBK//' "$rootfs/$gconv/gconv-modules" "$rootfs/$gconv/gconv-modules.d"/*.conf ||
    die "gconv configuration does not name GBK"

  # Every NEEDED entry of every ELF file placed, transitively, from the
  # packages fetched so far; a name none of them has is looked for in the
  # dependencies of the package whose file needs it.
  i=0
  while [ $i -lt ${#queue[@]} ]; do
    rel="${queue[$i]}"
    i=$((i + 1))
    file="$rootfs/$rel"
    is_elf "$file" || continue
    interp="$(readelf -lW "$file" | sed -n 's/.*Requesting program interpreter: \(.*\)\]/\1/p')"
    if [ -n "$interp" ] && [ -z "${placed[${interp#/}]:-}" ]; then
      put libc6 "${interp#/}"
    fi
    for soname in $(readelf -dW "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
      found="$(find_lib "$soname")" || {
        deps="$(depends "${owner[$rel]}")"
        learn $deps
        for dep in $deps; do
          [ -z "${version_known[$dep]}" ] || fetch "$dep"
        done
        found="$(find_lib "$soname")" || die "$rel needs $soname, which no package fetched has"
      }
      put ${found% *} "${found#* }"
    done
  done

  # ICU's data library, which libxml2 brings along for wimlib, is most of the
  # archive; only its character set converters stay (trim_icu_data.py).
  for lib in "$rootfs"/usr/lib/$arch-linux-gnu/libicudata.so.*; do
    [ -f "$lib" ] && [ ! -L "$lib" ] && python3 "$lib_dir/trim_icu_data.py" "$lib" "$stage/icu"
  done
  return 0
}

# add_kernel META [MODULE...]: the kernel package META depends on, and its
# modules.
# Storage: IDE/PATA and SATA/AHCI (all of drivers/ata), NVMe (and Intel VMD,
# which hides NVMe disks on many laptops), USB disks and their host
# controllers, virtio, common RAID and HBA drivers, the disks hypervisors
# offer; then FUSE for ntfs-3g, and FAT with the code pages the agent reads.
# The module files are copied as they are: a signed kernel under Secure Boot
# loads only modules whose appended signature is intact.
add_kernel() {
  local meta="$1" kname wanted moddir modules m pattern f extra=() required=()
  shift
  for m in "$@"; do
    extra+=("|${m//./\\.}\\.")
    required+=("$(basename "$m")")
  done
  kname="$(depends "$meta" | grep '^linux-image-' | head -n1)"
  [ -n "$kname" ] || die "$meta names no kernel package"
  kernel_pkg="$kname"
  [ "$(spec_arch "$meta")" = "$arch" ] || kernel_pkg="$kname:$(spec_arch "$meta")"
  fetch "$kernel_pkg"
  kernel_pkg="$(canonical "$kernel_pkg")"
  used[$kernel_pkg]=1
  ktree="${tree_of[$kernel_pkg]}"
  kver="$(basename "$(ls -d "$ktree"/lib/modules/*/ | head -n1)")"
  [ -f "$ktree/boot/vmlinuz-$kver" ] || die "$kernel_pkg has no boot/vmlinuz-$kver"
  [ -s "$ktree/lib/modules/$kver/modules.dep" ] || die "$kernel_pkg was unpacked without its module index"

  wanted='^kernel/(drivers/ata/|drivers/nvme/host/|drivers/pci/controller/vmd\.|drivers/usb/storage/|drivers/usb/host/(xhci|ehci|ohci|uhci)[-_]|drivers/virtio/|drivers/block/virtio_blk\.|drivers/scsi/virtio_scsi\.|drivers/scsi/sd_mod\.|drivers/scsi/(megaraid|mpt3sas|mpi3mr|aacraid|arcmsr|mvsas|isci|pm8001|smartpqi)/|drivers/scsi/(hpsa|megaraid|3w-9xxx|3w-sas|hptiop|stex|vmw_pvscsi|hv_storvsc|BusLogic)\.|drivers/message/fusion/|drivers/hv/hv_vmbus\.|drivers/block/xen-blkfront\.|fs/fuse/fuse\.|fs/fat/vfat\.|fs/nls/nls_(cp437|cp936|utf8|iso8859-1)\.)'
  wanted="${wanted%)}$(IFS=; echo "${extra[*]}"))"
  moddir="lib/modules/$kver"
  modules="$(awk -v re="$wanted" '{ sub(":", "", $1); if ($1 ~ re) for (i = 1; i <= NF; i++) print $i }' \
    "$ktree/$moddir/modules.dep" | sort -u)"
  # The ones the environment cannot do without, as modules or built in.
  for m in ata_piix ahci nvme virtio_blk virtio_pci virtio_scsi usb_storage uas xhci_pci ehci_pci sd_mod \
    fuse vfat nls_cp437 nls_cp936 nls_utf8 nls_iso8859_1 ${required[@]+"${required[@]}"}; do
    pattern="/${m//_/[-_]}\.ko"
    echo "$modules" | grep -q "$pattern" || grep -q "$pattern" "$ktree/$moddir/modules.builtin" ||
      die "$kernel_pkg has no module $m"
  done
  for m in $modules; do
    mkdir -p "$rootfs/$moddir/$(dirname "$m")"
    cp "$ktree/$moddir/$m" "$rootfs/$moddir/$m"
  done
  for f in modules.order modules.builtin modules.builtin.modinfo; do
    [ -e "$ktree/$moddir/$f" ] && cp "$ktree/$moddir/$f" "$rootfs/$moddir/"
  done
  depmod -b "$rootfs" "$kver"
}

write_versions() {
  local spec
  : > "$stage/versions.txt"
  for spec in $(printf '%s\n' "${!used[@]}" | sort); do
    echo "$spec ${version_of[$spec]}" >> "$stage/versions.txt"
  done
}

# write_initrd: $stage/initrd.xz, the initramfs of $rootfs.
write_initrd() {
  local sum
  python3 "$lib_dir/mkcpio.py" "$rootfs" "$stage/initrd.cpio" dev/console:c:5:1:600 dev/null:c:1:3:666
  # The same tree gives the same archive, so its compressed form is kept by
  # content and a rebuild with nothing changed skips the compression. crc32:
  # the kernel's xz decoder checks no other kind; the 8 MiB dictionary is what
  # the decoder allocates while unpacking.
  sum="$(sha256sum "$stage/initrd.cpio" | cut -c1-32)"
  mkdir -p "$cache/initrd"
  if [ ! -s "$cache/initrd/$sum.xz" ]; then
    # Keep the last few: several build trees may share this cache.
    # (find, not ls: an empty cache must not fail the pipeline.)
    find "$cache/initrd" -maxdepth 1 -name '*.xz' -printf '%T@ %p\n' | sort -rn | tail -n +7 |
      cut -d' ' -f2- | xargs -r rm -f
    xz --check=crc32 --lzma2=preset=6,dict=8MiB -T0 -c "$stage/initrd.cpio" > "$stage/initrd.xz"
    cp "$stage/initrd.xz" "$cache/initrd/$sum.xz.$$"
    mv "$cache/initrd/$sum.xz.$$" "$cache/initrd/$sum.xz"
  else
    cp "$cache/initrd/$sum.xz" "$stage/initrd.xz"
  fi
}

# publish OUT FILE...: the staged files into OUT, each replaced whole.
publish() {
  local out="$1" f
  shift
  mkdir -p "$out"
  for f in "$@"; do
    cp "$stage/$f" "$out/$f.tmp"
    mv "$out/$f.tmp" "$out/$f"
  done
}

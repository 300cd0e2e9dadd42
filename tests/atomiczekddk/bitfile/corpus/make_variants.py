#!/usr/bin/env python3
"""Writes the one-fault variants of sample.xml beside it.

fault_<n>_<what>.xml: the bitfile parser refuses it with -n.
module_<n>_<what>.xml: parses, but the module check refuses it with -n.
"""
import os
import re

here = os.path.dirname(os.path.abspath(__file__))
sample = open(os.path.join(here, "sample.xml")).read()


def register(name):
    m = re.search(r"\t\t\t<Register>\n\t\t\t\t<Name>%s</Name>.*?</Register>\n" % re.escape(name), sample, re.S)
    return m.group(0)


def channel(name):
    m = re.search(r'\t\t\t\t\t\t<Channel name="%s">.*?</Channel>\n' % re.escape(name), sample, re.S)
    return m.group(0)


SDI_OPEN = "<QvSdi_60565a69600149069007a119fa3bc8eb>"
SDI = re.search(r"<QvSdi_.*?</QvSdi_60565a69600149069007a119fa3bc8eb>", sample, re.S).group(0)
P2P = channel("stream &amp; reader")
DEBUG = channel("debug fifo")

variants = {
    # Syntax and document shape.
    "fault_61070_unclosed_root": ("</Bitfile>\n", ""),
    "fault_61070_unquoted_attribute": ('<Channel name="debug fifo">', "<Channel name=debug>"),
    "fault_61070_no_element": (sample, "<?xml version=\"1.0\"?>\n<!-- nothing else -->\n"),
    "fault_61070_text_before_root": ("<Bitfile>", "x<Bitfile>"),
    "fault_61070_deep_nesting": ("<HMB>", "<HMB>" + "<n>" * 300 + "</n>" * 300),
    # Header and project.
    "fault_61070_no_bitfile_version": ("\t<BitfileVersion>4.1</BitfileVersion>\n", ""),
    "fault_61070_version_without_minor": ("<BitfileVersion>4.1<", "<BitfileVersion>19<"),
    "fault_63107_oldest_compatible_8": (">0x7<", ">8<"),
    "fault_61070_no_signature": ("\t<SignatureRegister>0123456789ABCDEF00112233DEADBEEF</SignatureRegister>\n", ""),
    "fault_61070_signature_31": ("0123456789ABCDEF00112233DEADBEEF", "0123456789ABCDEF00112233DEADBEE"),
    "fault_61070_no_project": ("<Project>", "<Projekt>"),
    "fault_61070_no_target_class": ("<TargetClass>QV-3377;QV-3377R</TargetClass>", ""),
    "fault_61070_no_auto_run": ("<AutoRunWhenDownloaded>False</AutoRunWhenDownloaded>", ""),
    "fault_61070_auto_run_blank": (">False<", "> false<"),
    "fault_61070_implicit_removal_yes": (">TRUE<", ">yes<"),
    "fault_61070_no_results_tree": ("CompilationResultsTree>", "CompilationResultTree>", 2),
    "fault_61070_no_results": ("CompilationResults>", "CompilationResult>", 2),
    "fault_61070_zynq_patch_not_boolean": ("<ZynqBsEnablePatch>true<", "<ZynqBsEnablePatch>1<"),
    # Channels and register blocks.
    "fault_61070_no_qvfpga": ("QvFpga>", "QvFpgb>", 2),
    "fault_61070_no_channel_list": ("DmaChannelAllocationList>", "DmaChannels>", 2),
    "fault_61070_channel_without_name": ('<Channel name="debug fifo">', "<Channel>"),
    "fault_61070_channel_without_number": ("<Number>4</Number>", ""),
    "fault_61070_channel_number_text": ("<Number>4</Number>", "<Number>four</Number>"),
    "fault_61070_channel_number_twice": ("<Number>4</Number>", "<Number>2</Number>"),
    "fault_61070_channel_number_gap": ("<Number>4</Number>", "<Number>5</Number>"),
    "fault_61070_elements_negative": ("<NumberOfElements>63<", "<NumberOfElements>-1<"),
    "fault_61070_elements_too_large": ("<NumberOfElements>63<", "<NumberOfElements>4294967296<"),
    "fault_61070_no_base_address_tag": ("<BaseAddressTag>debug block</BaseAddressTag>", ""),
    "fault_61070_no_implementation": ("<Implementation>qvFpgaLoopback</Implementation>", ""),
    "fault_61070_no_data_type": ("<DataType><U32/></DataType>", ""),
    "fault_61070_empty_data_type": ("<DataType><U32/></DataType>", "<DataType></DataType>"),
    "fault_61070_unknown_type": ("<DataType><U32/></DataType>", "<DataType><u32/></DataType>"),
    "fault_61070_fxp_without_signed": ("\t\t\t\t\t\t\t\t<Signed>true</Signed>\n\t\t\t\t\t\t\t</DataType>", "\t\t\t\t\t\t\t</DataType>"),
    "fault_61070_fxp_word_length_0": ("<WordLength>24<", "<WordLength>0<"),
    "fault_61070_fxp_word_length_65": ("<WordLength>24<", "<WordLength>65<"),
    "fault_61070_fxp_integer_length_2048": ("<IntegerWordLength>-2<", "<IntegerWordLength>2048<"),
    "fault_61070_composite_without_size": ("<TransferSizeBytes>16</TransferSizeBytes>", ""),
    "fault_61070_composite_size_overflows": ("<TransferSizeBytes>16<", "<TransferSizeBytes>0x20000000<"),
    "fault_63107_composite_size_6": ("<TransferSizeBytes>16<", "<TransferSizeBytes>6<"),
    "fault_61070_no_user_visible": ("<UserVisible>false</UserVisible>\n\t\t\t\t\t\t</Channel>", "</Channel>"),
    "fault_61070_reader_without_window": ("\t\t\t\t\t\t\t<WriteWindowAddressTag>reader window</WriteWindowAddressTag>\n", ""),
    # Without its tag a reader has no write window, even beside a block
    # whose name is empty.
    "fault_61070_reader_without_window_empty_block": [
        ("\t\t\t\t\t\t\t<WriteWindowAddressTag>reader window</WriteWindowAddressTag>\n", ""),
        ('<RegisterBlock name="reader window">', '<RegisterBlock name="">'),
    ],
    "fault_61070_window_without_size": ("\t\t\t\t\t\t\t<WriteWindowSize>0x10000</WriteWindowSize>\n", ""),
    "fault_61070_window_block_missing": ('<RegisterBlock name="reader window">', '<RegisterBlock name="other window">'),
    "fault_61070_channel_unplaced": ('<RegisterBlock name="debug block">', '<RegisterBlock name="Debug block">'),
    "fault_61070_block_places_one_channel": ("<BaseAddressTag>debug block<", "<BaseAddressTag>fetch block<"),
    "fault_61070_block_without_offset": ("<RegisterBlock name=\"unused block\"><Offset>0x1F00</Offset>", "<RegisterBlock name=\"unused block\">"),
    "fault_61070_block_without_name": ("<RegisterBlock name=\"unused block\">", "<RegisterBlock>"),
    "fault_61070_base_address_text": ("<QvFpga>", "<QvFpga><BaseAddressOnDevice>base</BaseAddressOnDevice>"),
    "fault_61070_dram2dp_text": ("<TargetSpecificData>", "<TargetSpecificData><Dram2DPBaseAddress>x</Dram2DPBaseAddress>"),
    # Registers.
    "fault_61070_no_vi": ("VI>", "Vi>", 2),
    "fault_61070_no_register_list": ("RegisterList>", "Registers>", 2),
    "fault_61070_no_vi_signature": (register("ViSignature"), ""),
    "fault_61070_no_vi_control": (register("ViControl"), ""),
    "fault_61070_register_without_name": ("<Name>Mode</Name>", ""),
    "fault_61070_register_without_offset": ("<Offset>0x48</Offset>", ""),
    "fault_61070_register_without_internal": ("<Offset>0x48</Offset>\n\t\t\t\t<Internal>false</Internal>", "<Offset>0x48</Offset>"),
    "fault_61070_register_without_indicator": ("<Offset>0x48</Offset>\n\t\t\t\t<Internal>false</Internal>\n\t\t\t\t<Indicator>false</Indicator>", "<Offset>0x48</Offset>\n\t\t\t\t<Internal>false</Internal>"),
    "fault_61070_register_without_timeout_flag": ("<Indicator>false</Indicator>\n\t\t\t\t<AccessMayTimeout>false</AccessMayTimeout>\n\t\t\t\t<Datatype><EnumU16/>", "<Indicator>false</Indicator>\n\t\t\t\t<Datatype><EnumU16/>"),
    "fault_61070_register_without_datatype": ("<Datatype><EnumU16/></Datatype>", ""),
    "fault_61070_array_without_type": ("<Array><Type><I16/></Type>", "<Array>"),
    "fault_61070_register_fxp_integer_length": ("<IntegerWordLength>-3<", "<IntegerWordLength>-2049<"),
    "fault_61070_register_offset_negative": ("<Offset>0x48<", "<Offset>-72<"),
    "fault_61070_no_icon": ("Icon>", "Icons>", 2),
    "fault_61070_icon_without_mask": ("<Mask>AAAA//8=</Mask>", ""),
    "fault_61070_icon_without_colors": ("<Colors>ffffff000000</Colors>", ""),
    "fault_61070_icon_without_image": ("<Image>iVBORw0KGgoAAAANSUhEUgAAACAAAAAg</Image>", ""),
    # Bitstream.
    "fault_61070_no_bitstream_version": ("\t<BitstreamVersion>3</BitstreamVersion>\n", ""),
    "fault_63107_encoding_base32": (">Base64<", ">base32<"),
    "fault_61070_no_bitstream": ("<Bitstream>", "<Bitstreams>"),
    # The module section.
    "module_1074100460_version_1": ("<version>0<", "<version>1<"),
    "module_1074100460_version_letters": ("<version>0<", "<version>x<"),
    "module_1074100460_version_empty": ("<version>0</version>", "<version></version>"),
    "module_1074100460_no_version": ("<version>0</version>", ""),
    "module_1074100460_no_desired": ("<DesiredModuleRev>5</DesiredModuleRev>", ""),
    "module_1074100460_no_minimum": ("<MinModuleRev>2</MinModuleRev>", ""),
    "module_1074100460_desired_letters": ("<DesiredModuleRev>5<", "<DesiredModuleRev>abc<"),
    "module_1074100460_minimum_empty_digits": ("<MinModuleRev>2<", "<MinModuleRev>-<"),
}

for name, spec in variants.items():
    # One replacement, or a list of them made in turn.
    text = sample
    for old, new, *count in spec if isinstance(spec, list) else [spec]:
        count = count[0] if count else 1
        if text.count(old) != count:
            raise SystemExit("%s: %r occurs %d times" % (name, old[:60], text.count(old)))
        text = text.replace(old, new)
    with open(os.path.join(here, name + ".xml"), "w") as out:
        out.write(text)
